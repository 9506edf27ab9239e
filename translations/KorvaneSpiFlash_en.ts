<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AddChipDialog</name>
    <message>
        <source>添加芯片</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ChipInfo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Flash ID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ID Len</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PageSize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NumPages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SectorSize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI Instruction</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Instruction</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Addr
Bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WriteEnable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WriteDisable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WritePage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EraseSector</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EraseChip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ReadID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ReadData</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ReadFast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ReadStatus</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WriteStatus</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ChipDetectDialog</name>
    <message>
        <source>芯片识别</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>厂商：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>型号：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>容量：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>页大小：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>扇区大小：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>JEDEC ID：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自动识别</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ChipListDialog</name>
    <message>
        <source>Chip List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择厂商：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>厂商</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>型号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>容量</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>芯片信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>厂商：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>型号：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>容量及指令</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EraseSectorDialog</name>
    <message>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>起始扇区：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>扇区数量：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Korvane SPI Flash Program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>芯片信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设备：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通道：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI1-CS0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI1-CS1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI1-CS2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI1-CS3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI1-CS4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI2-CS0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI2-CS1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI2-CS2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI2-CS3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI2-CS4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>速度：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>50 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>25 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>12.5 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>6.25 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3.125 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>厂商：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>型号：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>容量：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0 Byte</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>地址：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>操作</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>扇区擦除</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>整片擦除</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写入数据</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读出数据</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>校验数据</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>芯片管理</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮助</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>新增芯片</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件另存为...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>芯片识别</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>固件信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>固件升级</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>智能写入</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>智能写入：只擦除和写入有变化的部分</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查空</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读出时读两次并比较</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>整片擦除后查空</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>状态寄存器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开固件文件</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusRegisterDialog</name>
    <message>
        <source>状态寄存器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>芯片系列：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SR1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S7</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SR2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SR3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写保护：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>易失写入（50h，断电后恢复原值）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读取</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写入</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>关闭</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
