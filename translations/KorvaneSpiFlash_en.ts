<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AdapterChoice</name>
    <message>
        <source>上次使用的适配器 %1 无法使用：%2
已改用默认适配器。</source>
        <translation>The adapter used last time, %1, cannot be used: %2
Switched to the default adapter.</translation>
    </message>
</context>
<context>
    <name>AddChipDialog</name>
    <message>
        <source>添加芯片</source>
        <translation>Add Chip</translation>
    </message>
    <message>
        <source>ChipInfo</source>
        <translation>ChipInfo</translation>
    </message>
    <message>
        <source>Flash ID</source>
        <translation>Flash ID</translation>
    </message>
    <message>
        <source>ID Len</source>
        <translation>ID Len</translation>
    </message>
    <message>
        <source>PageSize</source>
        <translation>PageSize</translation>
    </message>
    <message>
        <source>NumPages</source>
        <translation>NumPages</translation>
    </message>
    <message>
        <source>SectorSize</source>
        <translation>SectorSize</translation>
    </message>
    <message>
        <source>SPI Instruction</source>
        <translation>SPI Instruction</translation>
    </message>
    <message>
        <source>Instruction</source>
        <translation>Instruction</translation>
    </message>
    <message>
        <source>Addr
Bytes</source>
        <translation>Addr
Bytes</translation>
    </message>
    <message>
        <source>WriteEnable</source>
        <translation>WriteEnable</translation>
    </message>
    <message>
        <source>WriteDisable</source>
        <translation>WriteDisable</translation>
    </message>
    <message>
        <source>WritePage</source>
        <translation>WritePage</translation>
    </message>
    <message>
        <source>EraseSector</source>
        <translation>EraseSector</translation>
    </message>
    <message>
        <source>EraseChip</source>
        <translation>EraseChip</translation>
    </message>
    <message>
        <source>ReadID</source>
        <translation>ReadID</translation>
    </message>
    <message>
        <source>ReadData</source>
        <translation>ReadData</translation>
    </message>
    <message>
        <source>ReadFast</source>
        <translation>ReadFast</translation>
    </message>
    <message>
        <source>ReadStatus</source>
        <translation>ReadStatus</translation>
    </message>
    <message>
        <source>WriteStatus</source>
        <translation>WriteStatus</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>BlankCheck</name>
    <message>
        <source>芯片不为空！
有%1字节不是0xFF，第一个在地址0x%2。</source>
        <translation>The chip is not blank.
%1 bytes are not 0xFF, the first at address 0x%2.</translation>
    </message>
</context>
<context>
    <name>ChipDetectDialog</name>
    <message>
        <source>芯片识别</source>
        <translation>Detect Chip</translation>
    </message>
    <message>
        <source>厂商：</source>
        <translation>Manufacturer:</translation>
    </message>
    <message>
        <source>型号：</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>容量：</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>页大小：</source>
        <translation>Page size:</translation>
    </message>
    <message>
        <source>扇区大小：</source>
        <translation>Sector size:</translation>
    </message>
    <message>
        <source>JEDEC ID：</source>
        <translation>JEDEC ID:</translation>
    </message>
    <message>
        <source>自动识别</source>
        <translation>Detect</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
</context>
<context>
    <name>ChipListDialog</name>
    <message>
        <source>Chip List</source>
        <translation>Chip List</translation>
    </message>
    <message>
        <source>选择厂商：</source>
        <translation>Manufacturer:</translation>
    </message>
    <message>
        <source>厂商</source>
        <translation>Manufacturer</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>容量</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>芯片信息</source>
        <translation>Chip</translation>
    </message>
    <message>
        <source>厂商：</source>
        <translation>Manufacturer:</translation>
    </message>
    <message>
        <source>型号：</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>容量及指令</source>
        <translation>Size and instructions</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
</context>
<context>
    <name>ChipListFile</name>
    <message>
        <source>不能打开文件 %1:
%2.</source>
        <translation>Cannot open file %1:
%2.</translation>
    </message>
    <message>
        <source>PageSize 为 %1，应大于0</source>
        <translation>PageSize is %1; it must be above 0</translation>
    </message>
    <message>
        <source>PageSize 为 %1，不是2的幂</source>
        <translation>PageSize is %1, not a power of two</translation>
    </message>
    <message>
        <source>SectorSize 为 %1，应大于0</source>
        <translation>SectorSize is %1; it must be above 0</translation>
    </message>
    <message>
        <source>SectorSize 为 %1，不是2的幂</source>
        <translation>SectorSize is %1, not a power of two</translation>
    </message>
    <message>
        <source>SectorSize %1 小于 PageSize %2</source>
        <translation>SectorSize %1 is smaller than PageSize %2</translation>
    </message>
    <message>
        <source>NumPages 为 %1，应大于0</source>
        <translation>NumPages is %1; it must be above 0</translation>
    </message>
    <message>
        <source>PageSize %1 × NumPages %2 超过4 GiB</source>
        <translation>PageSize %1 × NumPages %2 is more than 4 GiB</translation>
    </message>
    <message>
        <source>%1 为 %2，应为3或4</source>
        <translation>%1 is %2; it must be 3 or 4</translation>
    </message>
    <message>
        <source>IDLength 为 %1，不能大于16</source>
        <translation>IDLength is %1; it must not be above 16</translation>
    </message>
    <message>
        <source>芯片库 %1 中有%2条记录无效，已略过。
第%3条：%4。</source>
        <translation>%2 records in the chip list %1 are invalid and were left out.
Record %3: %4.</translation>
    </message>
</context>
<context>
    <name>ChipSafety</name>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>所选型号的容量（%1）与芯片SFDP参数表中的容量（%2）不一致，型号可能选错了。
是否继续？</source>
        <translation>The selected model&apos;s size (%1) differs from the size in the chip&apos;s SFDP table (%2); the wrong model may be selected.
Continue?</translation>
    </message>
    <message>
        <source>读取状态寄存器失败！</source>
        <translation>Reading the status register failed.</translation>
    </message>
    <message>
        <source>芯片的写保护位已置位：%1
受保护的地址范围：0x%2 - 0x%3（%4）
本次操作的范围有一部分受保护，受保护的部分不会被改变。

</source>
        <translation>The chip&apos;s protection bits are set: %1
Protected range: 0x%2 - 0x%3 (%4)
Part of this operation&apos;s range is protected; the protected part will not change.

</translation>
    </message>
    <message>
        <source>芯片的写保护位已置位：%1
不清楚这些位在此芯片上保护哪些地址，整片芯片都可能受保护。

</source>
        <translation>The chip&apos;s protection bits are set: %1
Which addresses they protect on this chip is not known; the whole chip may be protected.

</translation>
    </message>
    <message>
        <source>是否先清除写保护再继续？
（Yes：清除后继续；No：不清除，直接继续；Cancel：取消）</source>
        <translation>Clear the protection first, then continue?
(Yes: clear and continue; No: continue without clearing; Cancel: stop)</translation>
    </message>
    <message>
        <source>芯片启用了单独的块锁定（WPS=1），整片芯片都可能受保护，本程序无法解除。
是否继续？</source>
        <translation>The chip uses individual block locks (WPS=1); the whole chip may be protected, and this program cannot unlock it.
Continue?</translation>
    </message>
    <message>
        <source>无法清除写保护：状态寄存器被锁定（SRP=1 且 /WP 引脚为低电平）。
请将 /WP 接高电平后重试。</source>
        <translation>Cannot clear the protection: the status register is locked (SRP=1 and the /WP pin is low).
Pull /WP high and try again.</translation>
    </message>
    <message>
        <source>无法清除写保护：状态寄存器已锁定（SRL=1），需给芯片断电后重试。</source>
        <translation>Cannot clear the protection: the status register is locked (SRL=1). Power the chip off and try again.</translation>
    </message>
    <message>
        <source>清除写保护失败：状态寄存器SR%1写入0x%2后读回为0x%3！</source>
        <translation>Clearing the protection failed: status register SR%1 was written 0x%2 but reads back 0x%3.</translation>
    </message>
    <message>
        <source>清除写保护失败！</source>
        <translation>Clearing the protection failed.</translation>
    </message>
    <message>
        <source>3字节地址</source>
        <translation>3-byte addresses</translation>
    </message>
    <message>
        <source>3或4字节地址</source>
        <translation>3- or 4-byte addresses</translation>
    </message>
    <message>
        <source>4字节地址</source>
        <translation>4-byte addresses</translation>
    </message>
    <message>
        <source>地址宽度未说明</source>
        <translation>address width not given</translation>
    </message>
    <message>
        <source>%1，页%2字节，擦除块%3，%4</source>
        <translation>%1, page %2 bytes, erase blocks %3, %4</translation>
    </message>
</context>
<context>
    <name>EraseChip</name>
    <message>
        <source>擦除数据超时！</source>
        <translation>Erase timed out.</translation>
    </message>
</context>
<context>
    <name>EraseSectorDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>起始扇区：</source>
        <translation>First sector:</translation>
    </message>
    <message>
        <source>扇区数量：</source>
        <translation>Sectors:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>FirmwareService</name>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>MD5值校验失败！</source>
        <translation>MD5 check failed.</translation>
    </message>
    <message>
        <source>查找设备...</source>
        <translation>Finding the adapter...</translation>
    </message>
    <message>
        <source>打开设备...</source>
        <translation>Opening the adapter...</translation>
    </message>
    <message>
        <source>获取设备信息...</source>
        <translation>Reading adapter information...</translation>
    </message>
    <message>
        <source>进入升级模式...</source>
        <translation>Entering upgrade mode...</translation>
    </message>
    <message>
        <source>检测固件文件...</source>
        <translation>Checking the firmware file...</translation>
    </message>
    <message>
        <source>擦除固件...</source>
        <translation>Erasing the firmware...</translation>
    </message>
    <message>
        <source>正在更新固件，请稍后...</source>
        <translation>Upgrading the firmware, please wait...</translation>
    </message>
    <message>
        <source>打开固件文件失败！</source>
        <translation>Opening the firmware file failed.</translation>
    </message>
    <message>
        <source>无设备连接！</source>
        <translation>No adapter connected.</translation>
    </message>
    <message>
        <source>打开设备失败！</source>
        <translation>Opening the adapter failed.</translation>
    </message>
    <message>
        <source>该设备不支持固件升级！</source>
        <translation>This adapter does not support firmware upgrades.</translation>
    </message>
    <message>
        <source>分配内存失败！</source>
        <translation>Out of memory.</translation>
    </message>
    <message>
        <source>固件文件校验失败！</source>
        <translation>The firmware file failed its check.</translation>
    </message>
    <message>
        <source>固件擦除失败！</source>
        <translation>Erasing the firmware failed.</translation>
    </message>
    <message>
        <source>写固件数据失败！</source>
        <translation>Writing the firmware failed.</translation>
    </message>
    <message>
        <source>写固件MD5值失败！</source>
        <translation>Writing the firmware MD5 failed.</translation>
    </message>
    <message>
        <source>获取固件信息失败！</source>
        <translation>Reading the firmware information failed.</translation>
    </message>
    <message>
        <source>固件名称: </source>
        <translation>Firmware name: </translation>
    </message>
    <message>
        <source>编译日期: </source>
        <translation>Build date: </translation>
    </message>
    <message>
        <source>固件版本: </source>
        <translation>Firmware version: </translation>
    </message>
    <message>
        <source>硬件版本: </source>
        <translation>Hardware version: </translation>
    </message>
    <message>
        <source>设备序号: </source>
        <translation>Serial number: </translation>
    </message>
    <message>
        <source>固件功能: </source>
        <translation>Functions: </translation>
    </message>
    <message>
        <source>固件信息</source>
        <translation>Firmware Information</translation>
    </message>
    <message>
        <source>该设备未连接！</source>
        <translation>This adapter is not connected.</translation>
    </message>
    <message>
        <source>固件更新</source>
        <translation>Firmware Upgrade</translation>
    </message>
    <message>
        <source>正在检测设备，请稍后...
</source>
        <translation>Checking the adapter, please wait...
</translation>
    </message>
    <message>
        <source>消息</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>固件更新成功！</source>
        <translation>Firmware upgrade succeeded.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Korvane SPI Flash Program</source>
        <translation>Korvane SPI Flash Program</translation>
    </message>
    <message>
        <source>芯片信息</source>
        <translation>Chip</translation>
    </message>
    <message>
        <source>设备：</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>通道：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>SPI1-CS0</source>
        <translation>SPI1-CS0</translation>
    </message>
    <message>
        <source>SPI1-CS1</source>
        <translation>SPI1-CS1</translation>
    </message>
    <message>
        <source>SPI1-CS2</source>
        <translation>SPI1-CS2</translation>
    </message>
    <message>
        <source>SPI1-CS3</source>
        <translation>SPI1-CS3</translation>
    </message>
    <message>
        <source>SPI1-CS4</source>
        <translation>SPI1-CS4</translation>
    </message>
    <message>
        <source>SPI2-CS0</source>
        <translation>SPI2-CS0</translation>
    </message>
    <message>
        <source>SPI2-CS1</source>
        <translation>SPI2-CS1</translation>
    </message>
    <message>
        <source>SPI2-CS2</source>
        <translation>SPI2-CS2</translation>
    </message>
    <message>
        <source>SPI2-CS3</source>
        <translation>SPI2-CS3</translation>
    </message>
    <message>
        <source>SPI2-CS4</source>
        <translation>SPI2-CS4</translation>
    </message>
    <message>
        <source>速度：</source>
        <translation>Speed:</translation>
    </message>
    <message>
        <source>50 MHz</source>
        <translation>50 MHz</translation>
    </message>
    <message>
        <source>25 MHz</source>
        <translation>25 MHz</translation>
    </message>
    <message>
        <source>12.5 MHz</source>
        <translation>12.5 MHz</translation>
    </message>
    <message>
        <source>6.25 MHz</source>
        <translation>6.25 MHz</translation>
    </message>
    <message>
        <source>3.125 MHz</source>
        <translation>3.125 MHz</translation>
    </message>
    <message>
        <source>厂商：</source>
        <translation>Manufacturer:</translation>
    </message>
    <message>
        <source>型号：</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>容量：</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>0 Byte</source>
        <translation>0 Byte</translation>
    </message>
    <message>
        <source>地址：</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operations</translation>
    </message>
    <message>
        <source>扇区擦除</source>
        <translation>Erase sectors</translation>
    </message>
    <message>
        <source>整片擦除</source>
        <translation>Erase chip</translation>
    </message>
    <message>
        <source>写入数据</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>读出数据</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>校验数据</source>
        <translation>Verify</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>芯片管理</source>
        <translation>Chips</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>新增芯片</source>
        <translation>Chip List</translation>
    </message>
    <message>
        <source>文件另存为...</source>
        <translation>Save As...</translation>
    </message>
    <message>
        <source>芯片识别</source>
        <translation>Detect Chip</translation>
    </message>
    <message>
        <source>固件信息</source>
        <translation>Firmware Information</translation>
    </message>
    <message>
        <source>固件升级</source>
        <translation>Upgrade Firmware</translation>
    </message>
    <message>
        <source>智能写入</source>
        <translation>Smart write</translation>
    </message>
    <message>
        <source>智能写入：只擦除和写入有变化的部分</source>
        <translation>Smart write: erase and write only what changed</translation>
    </message>
    <message>
        <source>查空</source>
        <translation>Blank check</translation>
    </message>
    <message>
        <source>读出时读两次并比较</source>
        <translation>Read twice and compare</translation>
    </message>
    <message>
        <source>整片擦除后查空</source>
        <translation>Blank check after erasing the chip</translation>
    </message>
    <message>
        <source>状态寄存器</source>
        <translation>Status Registers</translation>
    </message>
    <message>
        <source>打开固件文件</source>
        <translation>Open Firmware File</translation>
    </message>
    <message>
        <source>All File (*.*);;Intel HEX 文件 (*.hex *.ihex *.ihx);;S-record 文件 (*.srec *.s19 *.s28 *.s37 *.mot);;二进制文件 (*.bin)</source>
        <translation>All files (*.*);;Intel HEX files (*.hex *.ihex *.ihx);;S-record files (*.srec *.s19 *.s28 *.s37 *.mot);;Binary files (*.bin)</translation>
    </message>
    <message>
        <source>第 %1 行不是有效的记录。</source>
        <translation>Line %1 is not a valid record.</translation>
    </message>
    <message>
        <source>第 %1 行校验和错误。</source>
        <translation>Line %1 has a bad checksum.</translation>
    </message>
    <message>
        <source>第 %1 行的记录类型 %2 无法识别。</source>
        <translation>Line %1 has an unknown record type %2.</translation>
    </message>
    <message>
        <source>第 %1 行的数据超出 4 GB 地址范围。</source>
        <translation>The data of line %1 lies beyond the 4 GB address range.</translation>
    </message>
    <message>
        <source>第 %1 行的记录数 %2 与前面的数据记录数不符。</source>
        <translation>The record count %2 on line %1 does not match the data records before it.</translation>
    </message>
    <message>
        <source>第 %1 行与第 %2 行在地址 %3 的数据不同。</source>
        <translation>Lines %1 and %2 give different data at address %3.</translation>
    </message>
    <message>
        <source>第 %1 行在结束记录之后。</source>
        <translation>Line %1 comes after the end record.</translation>
    </message>
    <message>
        <source>文件没有结束记录，可能不完整。</source>
        <translation>The file has no end record; it may be incomplete.</translation>
    </message>
    <message>
        <source>文件中没有数据。</source>
        <translation>The file holds no data.</translation>
    </message>
    <message>
        <source>数据从 %1 到 %2，范围太大。</source>
        <translation>The data runs from %1 to %2, too large a range.</translation>
    </message>
    <message>
        <source>写入后校验</source>
        <translation>Verify after writing</translation>
    </message>
    <message>
        <source>官方网站&lt;span style=&quot;font-size:12px;&quot;&gt;&lt;/span&gt;：&lt;a href=&quot;http://www.korvane.example&quot;&gt;http://www.korvane.example&lt;/a&gt;&lt;br&gt;技术支持：0571-5550-1234&lt;br&gt;版本信息：v%1</source>
        <translation>Website: &lt;a href=&quot;http://www.korvane.example&quot;&gt;http://www.korvane.example&lt;/a&gt;&lt;br&gt;Support: 0571-5550-1234&lt;br&gt;Version: v%1</translation>
    </message>
    <message>
        <source>量产</source>
        <translation>Production</translation>
    </message>
    <message>
        <source>量产：一片接一片地烧录、校验，可写入序列号</source>
        <translation>Production: program and verify one chip after another, with a serial number if wanted</translation>
    </message>
</context>
<context>
    <name>OperationFrame</name>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>消息</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>打开设备失败，设备选择是否正确？</source>
        <translation>Opening the adapter failed. Is the right device selected?</translation>
    </message>
    <message>
        <source>配置设备失败！</source>
        <translation>Configuring the adapter failed.</translation>
    </message>
    <message>
        <source>发送EN4B指令失败！</source>
        <translation>Sending the EN4B instruction failed.</translation>
    </message>
    <message>
        <source>获取芯片ID失败！</source>
        <translation>Reading the chip ID failed.</translation>
    </message>
    <message>
        <source>ID不匹配，是否继续？
</source>
        <translation>The ID does not match. Continue?
</translation>
    </message>
    <message>
        <source>没有权限打开设备！
请安装 udev 规则文件 60-korvane-spiflash.rules（见说明文档的 Hardware 一节），然后重新插拔设备。</source>
        <translation>No permission to open the adapter.
Install the udev rules file 60-korvane-spiflash.rules (see the Hardware section of the documentation), then plug the adapter in again.</translation>
    </message>
    <message>
        <source>没有权限打开串口！
请把用户加入 dialout 组（见说明文档的 Hardware 一节），然后重新登录。</source>
        <translation>No permission to open the serial port.
Add the user to the dialout group (see the Hardware section of the documentation), then log in again.</translation>
    </message>
    <message>
        <source>没有权限打开 spidev 设备！
请把用户加入 spi 组（见说明文档的 Hardware 一节），然后重新登录。</source>
        <translation>No permission to open the spidev device.
Add the user to the spi group (see the Hardware section of the documentation), then log in again.</translation>
    </message>
    <message>
        <source>读数据</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>正在读数据
速度很快的，请稍等...
</source>
        <translation>Reading
This is quick, please wait...
</translation>
    </message>
    <message>
        <source>读数据成功！</source>
        <translation>Read succeeded.</translation>
    </message>
    <message>
        <source>读数据出错！</source>
        <translation>Read failed.</translation>
    </message>
    <message>
        <source>写数据</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>正在写数据
速度很快的，请稍等...
</source>
        <translation>Writing
This is quick, please wait...
</translation>
    </message>
    <message>
        <source>写数据成功！</source>
        <translation>Write succeeded.</translation>
    </message>
    <message>
        <source>写数据出错！</source>
        <translation>Write failed.</translation>
    </message>
    <message>
        <source>校验数据</source>
        <translation>Verify</translation>
    </message>
    <message>
        <source>正在校验数据
速度很快的，请稍等...
</source>
        <translation>Verifying
This is quick, please wait...
</translation>
    </message>
    <message>
        <source>数据校验成功！</source>
        <translation>Verify succeeded.</translation>
    </message>
    <message>
        <source>校验数据出错！</source>
        <translation>Verify failed.</translation>
    </message>
    <message>
        <source>整片擦除</source>
        <translation>Erase chip</translation>
    </message>
    <message>
        <source>正在擦除数据
该过程可能比较耗时，请耐心等待...
</source>
        <translation>Erasing
This may take a while, please be patient...
</translation>
    </message>
    <message>
        <source>擦除数据成功！</source>
        <translation>Erase succeeded.</translation>
    </message>
    <message>
        <source>擦除数据出错！</source>
        <translation>Erase failed.</translation>
    </message>
    <message>
        <source>擦除数据</source>
        <translation>Erase sectors</translation>
    </message>
    <message>
        <source>正在擦除数据
速度可能较慢，请稍等...
</source>
        <translation>Erasing
This may be slow, please wait...
</translation>
    </message>
    <message>
        <source>擦除扇区成功！</source>
        <translation>Sector erase succeeded.</translation>
    </message>
    <message>
        <source>扇区擦除出错！</source>
        <translation>Sector erase failed.</translation>
    </message>
    <message>
        <source>智能写入</source>
        <translation>Smart write</translation>
    </message>
    <message>
        <source>正在智能写入
只擦写有变化的部分，请稍等...
</source>
        <translation>Smart writing
Only what changed is erased and written, please wait...
</translation>
    </message>
    <message>
        <source>智能写入成功！</source>
        <translation>Smart write succeeded.</translation>
    </message>
    <message>
        <source>智能写入出错！</source>
        <translation>Smart write failed.</translation>
    </message>
    <message>
        <source>查空</source>
        <translation>Blank check</translation>
    </message>
    <message>
        <source>正在检查芯片是否为空
请稍等...
</source>
        <translation>Checking whether the chip is blank
Please wait...
</translation>
    </message>
    <message>
        <source>芯片为空！</source>
        <translation>The chip is blank.</translation>
    </message>
    <message>
        <source>查空出错！</source>
        <translation>Blank check failed.</translation>
    </message>
    <message>
        <source>
耗时: %1 秒！</source>
        <translation>
Time: %1 s</translation>
    </message>
    <message>
        <source>串口被其他程序占用！
请关闭正在使用该串口的程序（如串口终端），然后重试。</source>
        <translation>The serial port is in use by another program!
Close the program that uses it (such as a serial terminal), then try again.</translation>
    </message>
    <message>
        <source>设备被其他程序占用！
请关闭正在使用该设备的程序，然后重试。</source>
        <translation>The device is in use by another program!
Close the program that uses it, then try again.</translation>
    </message>
    <message>
        <source>没有芯片应答（ID为%1）！
请检查接线、通道（片选）和芯片供电。</source>
        <translation>No chip answered (the ID reads %1)!
Check the wiring, the port (chip select) and the chip&apos;s supply.</translation>
    </message>
</context>
<context>
    <name>ProductionDialog</name>
    <message>
        <source>量产</source>
        <translation>Production</translation>
    </message>
    <message>
        <source>镜像文件：</source>
        <translation>Image file:</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>写入方式：</source>
        <translation>Write:</translation>
    </message>
    <message>
        <source>智能写入</source>
        <translation>Smart write</translation>
    </message>
    <message>
        <source>擦除后写入</source>
        <translation>Erase, then write</translation>
    </message>
    <message>
        <source>解除写保护</source>
        <translation>Clear write protection</translation>
    </message>
    <message>
        <source>日志文件：</source>
        <translation>Log file:</translation>
    </message>
    <message>
        <source>不记录</source>
        <translation>no log</translation>
    </message>
    <message>
        <source>写入序列号</source>
        <translation>Write a serial number</translation>
    </message>
    <message>
        <source>地址：</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>格式：</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>十进制文本</source>
        <translation>Decimal text</translation>
    </message>
    <message>
        <source>十六进制文本</source>
        <translation>Hexadecimal text</translation>
    </message>
    <message>
        <source>小端字节</source>
        <translation>Little-endian bytes</translation>
    </message>
    <message>
        <source>大端字节</source>
        <translation>Big-endian bytes</translation>
    </message>
    <message>
        <source>长度：</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>起始值：</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>新计数文件用</source>
        <translation>for a new counter file</translation>
    </message>
    <message>
        <source>计数文件：</source>
        <translation>Counter file:</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>通过 0  失败 0</source>
        <translation>Passed 0  Failed 0</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>All File (*.*);;Intel HEX 文件 (*.hex *.ihex *.ihx);;S-record 文件 (*.srec *.s19 *.s28 *.s37 *.mot);;二进制文件 (*.bin)</source>
        <translation>All Files (*.*);;Intel HEX files (*.hex *.ihex *.ihx);;S-record files (*.srec *.s19 *.s28 *.s37 *.mot);;Binary files (*.bin)</translation>
    </message>
    <message>
        <source>序列号：无</source>
        <translation>Serial: none</translation>
    </message>
</context>
<context>
    <name>ReadWriteVerify</name>
    <message>
        <source>读数据长度为0
请检查起始地址设置是否正确！
</source>
        <translation>Nothing to read
Check the start address.
</translation>
    </message>
    <message>
        <source>没有数据！</source>
        <translation>No data.</translation>
    </message>
    <message>
        <source>数据长度超出芯片容量！</source>
        <translation>The data does not fit on the chip.</translation>
    </message>
    <message>
        <source>数据校验失败！
</source>
        <translation>Verify failed.
</translation>
    </message>
    <message>
        <source>分配内存失败！</source>
        <translation>Out of memory.</translation>
    </message>
    <message>
        <source>有%1字节数据和写入数据不同！</source>
        <translation>%1 bytes differ from the data written.</translation>
    </message>
    <message>
        <source>两次读出的数据不一致：有%1字节不同，第一个在地址0x%2。
可能是接触不良或时钟太快，请降低“速度”后重试。</source>
        <translation>The two reads differ: %1 bytes, the first at address 0x%2.
A bad contact or too fast a clock may cause this: lower the Speed and try again.</translation>
    </message>
    <message>
        <source>写入后校验失败：有%1字节和写入数据不同，第一个在地址0x%2。</source>
        <translation>Verify after writing failed: %1 bytes differ from the data, the first at address 0x%2.</translation>
    </message>
</context>
<context>
    <name>SmartWrite</name>
    <message>
        <source>消息</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>芯片没有SFDP参数表，型号的扇区大小也不可用，无法智能写入！</source>
        <translation>The chip has no SFDP table and the model&apos;s sector size cannot be used: smart write is not possible.</translation>
    </message>
    <message>
        <source>智能写入后校验失败：有%1字节和写入数据不同，第一个在地址0x%2。
受写保护的区域不会被改变。</source>
        <translation>Verify after smart write failed: %1 bytes differ from the data written, the first at address 0x%2.
Protected areas are not changed.</translation>
    </message>
    <message>
        <source>智能写入成功！
擦除%1块（%2），写入%3页，%4字节已与数据相同。</source>
        <translation>Smart write succeeded.
Erased %1 blocks (%2), programmed %3 pages; %4 bytes were already right.</translation>
    </message>
    <message>
        <source>
地址0x%1 - 0x%2已被擦除或只写入了一部分，请再次智能写入。</source>
        <translation>
0x%1 - 0x%2 is now erased or only partly written: run Smart write again.</translation>
    </message>
</context>
<context>
    <name>StatusRegisterDialog</name>
    <message>
        <source>状态寄存器</source>
        <translation>Status Registers</translation>
    </message>
    <message>
        <source>芯片系列：</source>
        <translation>Family:</translation>
    </message>
    <message>
        <source>SR1</source>
        <translation>SR1</translation>
    </message>
    <message>
        <source>S7</source>
        <translation>S7</translation>
    </message>
    <message>
        <source>S6</source>
        <translation>S6</translation>
    </message>
    <message>
        <source>S5</source>
        <translation>S5</translation>
    </message>
    <message>
        <source>S4</source>
        <translation>S4</translation>
    </message>
    <message>
        <source>S3</source>
        <translation>S3</translation>
    </message>
    <message>
        <source>S2</source>
        <translation>S2</translation>
    </message>
    <message>
        <source>S1</source>
        <translation>S1</translation>
    </message>
    <message>
        <source>S0</source>
        <translation>S0</translation>
    </message>
    <message>
        <source>--</source>
        <translation>--</translation>
    </message>
    <message>
        <source>SR2</source>
        <translation>SR2</translation>
    </message>
    <message>
        <source>SR3</source>
        <translation>SR3</translation>
    </message>
    <message>
        <source>写保护：</source>
        <translation>Protection:</translation>
    </message>
    <message>
        <source>易失写入（50h，断电后恢复原值）</source>
        <translation>Volatile write (50h, lost at power-off)</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>消息</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>打开设备失败，设备选择是否正确？</source>
        <translation>Opening the adapter failed. Is the right device selected?</translation>
    </message>
    <message>
        <source>配置设备失败！</source>
        <translation>Configuring the adapter failed.</translation>
    </message>
    <message>
        <source>获取芯片ID失败！</source>
        <translation>Reading the chip ID failed.</translation>
    </message>
    <message>
        <source>读取状态寄存器失败！</source>
        <translation>Reading the status register failed.</translation>
    </message>
    <message>
        <source>写入状态寄存器成功！</source>
        <translation>Status registers written.</translation>
    </message>
    <message>
        <source>写入失败：状态寄存器被锁定（SRP=1 且 /WP 引脚为低电平）。</source>
        <translation>Write failed: the status register is locked (SRP=1 and the /WP pin is low).</translation>
    </message>
    <message>
        <source>写入失败：状态寄存器已锁定（SRL=1），需给芯片断电后重试。</source>
        <translation>Write failed: the status register is locked (SRL=1). Power the chip off and try again.</translation>
    </message>
    <message>
        <source>写入失败：状态寄存器%1写入0x%2后读回为0x%3！</source>
        <translation>Write failed: status register %1 was written 0x%2 but reads back 0x%3.</translation>
    </message>
    <message>
        <source>写入状态寄存器失败！</source>
        <translation>Writing the status registers failed.</translation>
    </message>
</context>
<context>
    <name>korvane::AddChipDialog</name>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>芯片参数无效：%1。</source>
        <translation>Invalid chip parameters: %1.</translation>
    </message>
</context>
<context>
    <name>korvane::ChipDetectDialog</name>
    <message>
        <source>配置设备失败！</source>
        <translation>Configuring the adapter failed.</translation>
    </message>
    <message>
        <source>获取芯片ID失败！</source>
        <translation>Reading the chip ID failed.</translation>
    </message>
    <message>
        <source>打开设备失败，设备选择是否正确？</source>
        <translation>Opening the adapter failed. Is the right device selected?</translation>
    </message>
</context>
<context>
    <name>korvane::ChipListDialog</name>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>厂商或型号名称过长（最多63字节）！</source>
        <translation>The manufacturer or model name is too long (63 bytes at most).</translation>
    </message>
    <message>
        <source>芯片参数无效：%1。</source>
        <translation>Invalid chip parameters: %1.</translation>
    </message>
    <message>
        <source>该型号已经存在，是否覆盖？</source>
        <translation>This model already exists. Replace it?</translation>
    </message>
</context>
<context>
    <name>korvane::MainWindow</name>
    <message>
        <source>设备 %1：未找到</source>
        <translation>Device %1: not found</translation>
    </message>
    <message>
        <source>序列号 %1</source>
        <translation>serial number %1</translation>
    </message>
    <message>
        <source>设备 %1：%2（%3）</source>
        <translation>Device %1: %2 (%3)</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>  SPI 时钟 %1 MHz</source>
        <translation>  SPI clock %1 MHz</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>不能载入文件 %1:
%2</source>
        <translation>Cannot load file %1:
%2</translation>
    </message>
    <message>
        <source>文件中没有数据。</source>
        <translation>The file holds no data.</translation>
    </message>
    <message>
        <source>数据从 %1 到 %2</source>
        <translation>The data runs from %1 to %2</translation>
    </message>
    <message>
        <source>，放在地址 %1 起</source>
        <translation>, placed from address %1 on</translation>
    </message>
    <message>
        <source>，超出芯片容量（%1）。</source>
        <translation>, beyond the chip&apos;s size (%1).</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>没有数据！</source>
        <translation>No data.</translation>
    </message>
    <message>
        <source>另存为</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>保存文件</source>
        <translation>Save File</translation>
    </message>
    <message>
        <source>不能保存文件 %1:
读取缓冲区数据出错！</source>
        <translation>Cannot save file %1:
Reading the buffer failed.</translation>
    </message>
    <message>
        <source>不能打开文件 %1:
%2.</source>
        <translation>Cannot open file %1:
%2.</translation>
    </message>
    <message>
        <source>芯片ID：%1</source>
        <translation>Chip ID: %1</translation>
    </message>
    <message>
        <source>，有%1个型号的ID与之相同，已选第一个，请确认型号</source>
        <translation>; %1 models share this ID, the first is selected: check the model</translation>
    </message>
    <message>
        <source>；SFDP：%1</source>
        <translation>; SFDP: %1</translation>
    </message>
    <message>
        <source>；无SFDP参数表</source>
        <translation>; no SFDP table</translation>
    </message>
    <message>
        <source>芯片识别</source>
        <translation>Detect Chip</translation>
    </message>
    <message>
        <source>芯片库中没有ID为%1的型号。
芯片带有SFDP参数表：%2。

是否按SFDP参数新增芯片？</source>
        <translation>The chip list has no model with ID %1.
The chip has an SFDP table: %2.

Add a chip from the SFDP table?</translation>
    </message>
    <message>
        <source>%1 SHA-256 %2… CRC-32 %3</source>
        <translation>%1 SHA-256 %2… CRC-32 %3</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>System</translation>
    </message>
</context>
<context>
    <name>korvane::ProductionDialog</name>
    <message>
        <source>正在烧录第 %1 片…</source>
        <translation>Programming unit %1…</translation>
    </message>
    <message>
        <source>序列号：%1</source>
        <translation>Serial: %1</translation>
    </message>
    <message>
        <source>序列号：无</source>
        <translation>Serial: none</translation>
    </message>
    <message>
        <source>镜像文件</source>
        <translation>Image file</translation>
    </message>
    <message>
        <source>日志文件</source>
        <translation>Log file</translation>
    </message>
    <message>
        <source>日志 (*.csv *.jsonl);;All File (*.*)</source>
        <translation>Logs (*.csv *.jsonl);;All Files (*.*)</translation>
    </message>
    <message>
        <source>计数文件</source>
        <translation>Counter file</translation>
    </message>
    <message>
        <source>All File (*.*)</source>
        <translation>All Files (*.*)</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>请选择镜像文件！</source>
        <translation>Choose an image file.</translation>
    </message>
    <message>
        <source>不能打开镜像文件 %1：
%2</source>
        <translation>Cannot open the image file %1:
%2</translation>
    </message>
    <message>
        <source>镜像文件 %1 是空的！</source>
        <translation>The image file %1 is empty.</translation>
    </message>
    <message>
        <source>不能读取镜像文件 %1：
%2</source>
        <translation>Cannot read the image file %1:
%2</translation>
    </message>
    <message>
        <source>镜像文件 %1 有错误：
%2</source>
        <translation>The image file %1 has an error:
%2</translation>
    </message>
    <message>
        <source>镜像数据超出芯片容量！</source>
        <translation>The image does not fit the chip.</translation>
    </message>
    <message>
        <source>
序列号 %1 仍记为未完成。</source>
        <translation>
Serial %1 stays recorded as not finished.</translation>
    </message>
    <message>
        <source>计数文件 %1 正被另一个量产任务使用！</source>
        <translation>The counter file %1 is in use by another production run.</translation>
    </message>
    <message>
        <source>不能锁定计数文件 %1：
%2</source>
        <translation>Cannot lock the counter file %1:
%2</translation>
    </message>
    <message>
        <source>计数文件 %1 不存在，请填写起始值！</source>
        <translation>The counter file %1 does not exist; enter a start value.</translation>
    </message>
    <message>
        <source>不能读取计数文件 %1：
%2</source>
        <translation>Cannot read the counter file %1:
%2</translation>
    </message>
    <message>
        <source>计数文件 %1 第 %2 行无法识别！</source>
        <translation>Line %2 of the counter file %1 is not understood.</translation>
    </message>
    <message>
        <source>不能写入计数文件 %1：
%2</source>
        <translation>Cannot write the counter file %1:
%2</translation>
    </message>
    <message>
        <source>不能写入日志文件 %1：
%2</source>
        <translation>Cannot write the log file %1:
%2</translation>
    </message>
    <message>
        <source>序列号 %1 超出了设定的长度！</source>
        <translation>Serial %1 does not fit the size set.</translation>
    </message>
    <message>
        <source>请填写序列号的地址（十六进制）！</source>
        <translation>Enter the serial number&apos;s address (hexadecimal).</translation>
    </message>
    <message>
        <source>序列号的位置跨越了镜像数据的边界！</source>
        <translation>The serial number would run across the edge of the image&apos;s data.</translation>
    </message>
    <message>
        <source>请选择计数文件！</source>
        <translation>Choose a counter file.</translation>
    </message>
    <message>
        <source>起始值不是数字！</source>
        <translation>The start value is not a number.</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>量产</source>
        <translation>Production</translation>
    </message>
    <message>
        <source>上次量产没有完成序列号 %1 的芯片（程序中断或断电），那块板子可能已经写入了这个序列号。

是：跳过这些序列号，不再使用
否：重新使用这些序列号（那块板子已作废时）
取消：不开始</source>
        <translation>The last production run did not finish the chip with serial %1 (the program ended or the power failed); that board may carry it.

Yes: skip these serials, never use them
No: use them again (when that board was scrapped)
Cancel: do not start</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>序列号 %1 已跳过</source>
        <translation>Serial %1 skipped</translation>
    </message>
    <message>
        <source>序列号 %1 将重新使用</source>
        <translation>Serial %1 will be used again</translation>
    </message>
    <message>
        <source>请取下芯片</source>
        <translation>Remove the chip</translation>
    </message>
    <message>
        <source>等待芯片…</source>
        <translation>Waiting for a chip…</translation>
    </message>
    <message>
        <source>%1  第 %2 片  %3  %4  %5 秒</source>
        <translation>%1  unit %2  %3  %4  %5 s</translation>
    </message>
    <message>
        <source>序列号 %1</source>
        <translation>serial %1</translation>
    </message>
    <message>
        <source>无序列号</source>
        <translation>no serial</translation>
    </message>
    <message>
        <source>通过 %1  失败 %2</source>
        <translation>Passed %1  Failed %2</translation>
    </message>
    <message>
        <source>下一个序列号：%1</source>
        <translation>Next serial: %1</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>量产已停止：
%1</source>
        <translation>Production stopped:
%1</translation>
    </message>
</context>
<context>
    <name>korvane::StatusRegisterDialog</name>
    <message>
        <source>未知（写保护位的含义不明）</source>
        <translation>unknown (meaning of the protection bits not known)</translation>
    </message>
    <message>
        <source>型号：%1    芯片系列：%2</source>
        <translation>Model: %1    Family: %2</translation>
    </message>
    <message>
        <source>写保护：未读取</source>
        <translation>Protection: not read</translation>
    </message>
    <message>
        <source>写保护：无</source>
        <translation>Protection: none</translation>
    </message>
    <message>
        <source>写保护：启用了单独的块锁定（WPS=1），整片芯片都可能受保护</source>
        <translation>Protection: individual block locks on (WPS=1); the whole chip may be protected</translation>
    </message>
    <message>
        <source>写保护：%1 已置位，此芯片上保护哪些地址不明，整片芯片都可能受保护</source>
        <translation>Protection: %1 set; which addresses that protects on this chip is not known, the whole chip may be protected</translation>
    </message>
    <message>
        <source>写保护：0x%1 - 0x%2（%3）</source>
        <translation>Protection: 0x%1 - 0x%2 (%3)</translation>
    </message>
    <message>
        <source>
SRL=1：状态寄存器在断电前不能写入</source>
        <translation>
SRL=1: the status register cannot be written until power-off</translation>
    </message>
    <message>
        <source>
SRP=1：/WP 为低电平时状态寄存器不能写入</source>
        <translation>
SRP=1: the status register cannot be written while /WP is low</translation>
    </message>
</context>
</TS>
