<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>AdapterResult</name>
    <message>
        <source>success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>invalid argument</source>
        <translation>参数无效</translation>
    </message>
    <message>
        <source>the adapter was not configured for this chip</source>
        <translation>设备未按此芯片配置</translation>
    </message>
    <message>
        <source>the transfer to the chip failed</source>
        <translation>与芯片的数据传输失败</translation>
    </message>
    <message>
        <source>the chip stayed busy too long</source>
        <translation>芯片忙状态持续过久</translation>
    </message>
    <message>
        <source>the chip record cannot serve this operation</source>
        <translation>该芯片记录不支持此操作</translation>
    </message>
    <message>
        <source>the range runs past the chip or past what its addresses reach</source>
        <translation>范围超出芯片容量或地址所能达到的范围</translation>
    </message>
    <message>
        <source>failure injected by a test</source>
        <translation>测试注入的故障</translation>
    </message>
    <message>
        <source>the adapter is gone (unplugged?)</source>
        <translation>设备已断开（被拔出？）</translation>
    </message>
    <message>
        <source>no permission to use the adapter</source>
        <translation>没有使用该设备的权限</translation>
    </message>
    <message>
        <source>the adapter does not support this</source>
        <translation>设备不支持此操作</translation>
    </message>
    <message>
        <source>the adapter gave an answer that makes no sense</source>
        <translation>设备返回了无效的应答</translation>
    </message>
    <message>
        <source>the adapter did not answer in time</source>
        <translation>设备应答超时</translation>
    </message>
    <message>
        <source>adapter error</source>
        <translation>设备错误</translation>
    </message>
    <message>
        <source>the adapter is in use by another program</source>
        <translation>设备正被其他程序使用</translation>
    </message>
    <message>
        <source>what was written could not be stored</source>
        <translation>写入的内容无法保存</translation>
    </message>
    <message>
        <source>the device node is of another kind than the adapter needs</source>
        <translation>设备节点的类型与设备所需的不符</translation>
    </message>
    <message>
        <source>the adapter&apos;s largest transfer is too small for the chip&apos;s instructions</source>
        <translation>设备单次传输的最大长度容不下芯片的指令</translation>
    </message>
    <message>
        <source>the chip did not take write enable</source>
        <translation>芯片没有接受写使能</translation>
    </message>
</context>
<context>
    <name>Backends</name>
    <message>
        <source>the simulated adapter takes no argument</source>
        <translation>模拟设备不带参数</translation>
    </message>
    <message>
        <source>lib needs the library&apos;s path, as in lib:/path/to/adapter.so</source>
        <translation>lib 需要库文件的路径，如 lib:/path/to/adapter.so</translation>
    </message>
    <message>
        <source>%1:N takes the index of one %1 adapter (0 is the first found), not &quot;%2&quot;</source>
        <translation>%1:N 需要某个 %1 设备的序号（0 为找到的第一个），而不是“%2”</translation>
    </message>
    <message>
        <source>usb takes no argument</source>
        <translation>usb 不带参数</translation>
    </message>
    <message>
        <source>every USB programmer below, by bus and port</source>
        <translation>下列所有 USB 编程器，按总线和端口</translation>
    </message>
    <message>
        <source>CH341A programmers (1a86:5512)</source>
        <translation>CH341A 编程器 (1a86:5512)</translation>
    </message>
    <message>
        <source>CH347T/CH347F programmers (1a86:55db, 1a86:55de)</source>
        <translation>CH347T/CH347F 编程器 (1a86:55db, 1a86:55de)</translation>
    </message>
    <message>
        <source>FT232H in MPSSE mode (0403:6014)</source>
        <translation>MPSSE 模式的 FT232H (0403:6014)</translation>
    </message>
    <message>
        <source>FT2232H channel A in MPSSE mode (0403:6010)</source>
        <translation>MPSSE 模式的 FT2232H 通道 A (0403:6010)</translation>
    </message>
    <message>
        <source>the simulated adapter and chips</source>
        <translation>模拟设备及芯片</translation>
    </message>
    <message>
        <source>a serprog programmer on a serial port (baud 115200 unless given)</source>
        <translation>串口上的 serprog 编程器（默认波特率 115200）</translation>
    </message>
    <message>
        <source>Linux spidev; SPI1-CSn uses /dev/spidevB.n; HZ caps the clock</source>
        <translation>SPI1-CSn 即 /dev/spidevB.n；HZ 为时钟上限</translation>
    </message>
    <message>
        <source>an adapter library that exports the sixteen operations</source>
        <translation>导出十六个操作函数的设备库</translation>
    </message>
    <message>
        <source>unknown adapter &quot;%1&quot; (known: %2)</source>
        <translation>未知设备“%1”（可用：%2）</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>cannot load the adapter library %1: %2</source>
        <translation>无法加载设备库 %1：%2</translation>
    </message>
    <message>
        <source>the adapter library %1 lacks %2 of the %3 operations: %4</source>
        <translation>设备库 %1 缺少 %3 个操作函数中的 %2 个：%4</translation>
    </message>
    <message>
        <source>a regular file</source>
        <translation>普通文件</translation>
    </message>
    <message>
        <source>a directory</source>
        <translation>目录</translation>
    </message>
    <message>
        <source>a FIFO</source>
        <translation>FIFO</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>套接字</translation>
    </message>
    <message>
        <source>a block device</source>
        <translation>块设备</translation>
    </message>
    <message>
        <source>a device of another kind</source>
        <translation>其他类型的设备</translation>
    </message>
    <message>
        <source>no such serial port %1</source>
        <translation>串口 %1 不存在</translation>
    </message>
    <message>
        <source>no such spidev device %1</source>
        <translation>spidev 设备 %1 不存在</translation>
    </message>
    <message>
        <source>%1 is not a serial port</source>
        <translation>%1 不是串口</translation>
    </message>
    <message>
        <source>%1 is not a spidev device</source>
        <translation>%1 不是 spidev 设备</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
</context>
<context>
    <name>ChipList</name>
    <message>
        <source>PageSize %1 is not above 0</source>
        <translation>PageSize 为 %1，应大于 0</translation>
    </message>
    <message>
        <source>PageSize %1 is not a power of two</source>
        <translation>PageSize 为 %1，不是 2 的幂</translation>
    </message>
    <message>
        <source>SectorSize %1 is not above 0</source>
        <translation>SectorSize 为 %1，应大于 0</translation>
    </message>
    <message>
        <source>SectorSize %1 is not a power of two</source>
        <translation>SectorSize 为 %1，不是 2 的幂</translation>
    </message>
    <message>
        <source>SectorSize %1 is smaller than PageSize %2</source>
        <translation>SectorSize %1 小于 PageSize %2</translation>
    </message>
    <message>
        <source>NumPages %1 is not above 0</source>
        <translation>NumPages 为 %1，应大于 0</translation>
    </message>
    <message>
        <source>PageSize %1 x NumPages %2 is more than 4 GiB</source>
        <translation>PageSize %1 × NumPages %2 超过 4 GiB</translation>
    </message>
    <message>
        <source>ReadDataAddrBytes %1 is neither 3 nor 4</source>
        <translation>ReadDataAddrBytes 为 %1，应为 3 或 4</translation>
    </message>
    <message>
        <source>WritePageAddrBytes %1 is neither 3 nor 4</source>
        <translation>WritePageAddrBytes 为 %1，应为 3 或 4</translation>
    </message>
    <message>
        <source>EraseSectorAddrBytes %1 is neither 3 nor 4</source>
        <translation>EraseSectorAddrBytes 为 %1，应为 3 或 4</translation>
    </message>
    <message>
        <source>IDLength %1 is more than 16</source>
        <translation>IDLength 为 %1，超过 16</translation>
    </message>
    <message>
        <source>%1 bytes, not a whole number of %2-byte records</source>
        <translation>%1 字节，不是 %2 字节记录的整数倍</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>3-byte addresses</source>
        <translation>3 字节地址</translation>
    </message>
    <message>
        <source>3- or 4-byte addresses</source>
        <translation>3 或 4 字节地址</translation>
    </message>
    <message>
        <source>4-byte addresses</source>
        <translation>4 字节地址</translation>
    </message>
    <message>
        <source>addressing not given</source>
        <translation>未给出地址宽度</translation>
    </message>
    <message>
        <source>%1, %2-byte pages, erases %3, %4 (basic table %5.%6)</source>
        <translation>%1，页大小 %2 字节，擦除 %3，%4（基本参数表 %5.%6）</translation>
    </message>
    <message>
        <source>Try &apos;korvane-spi --help&apos; for more information.</source>
        <translation>运行“korvane-spi --help”查看更多信息。</translation>
    </message>
    <message>
        <source>korvane-spi: hint: install data/udev/%1 into /etc/udev/rules.d/, run &apos;udevadm control --reload&apos; and plug the programmer in again (see README, Hardware)</source>
        <translation>korvane-spi: 提示：将 data/udev/%1 安装到 /etc/udev/rules.d/，运行“udevadm control --reload”，然后重新插入编程器（见 README 的 Hardware 一节）</translation>
    </message>
    <message>
        <source>what to do (see Commands above)</source>
        <translation>要执行的命令（见上文“命令”）</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>显示本帮助。</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>显示版本。</translation>
    </message>
    <message>
        <source>Which backend (see Adapters above); default: every adapter found, never the simulated one.</source>
        <translation>使用的后端（见上文“设备”）；默认：找到的所有设备，
不含模拟设备。</translation>
    </message>
    <message>
        <source>Index in the adapter list (default 0).</source>
        <translation>设备列表中的序号（默认 0）。</translation>
    </message>
    <message>
        <source>SPI1-CS0 ... SPI2-CS4 (default SPI1-CS0).</source>
        <translation>SPI1-CS0 ... SPI2-CS4（默认 SPI1-CS0）。</translation>
    </message>
    <message>
        <source>Clock in MHz: 50, 25, 12.5, 6.25 or 3.125 (default 50).</source>
        <translation>时钟（MHz）：50、25、12.5、6.25 或 3.125（默认 50）。</translation>
    </message>
    <message>
        <source>A model from the chip list: an exact name or a unique substring, in any case. Without it the chip is identified by its ID.</source>
        <translation>芯片列表中的型号：完整名称或唯一的部分名称，
不分大小写。不指定时按芯片 ID 识别。</translation>
    </message>
    <message>
        <source>The chip list file (default: the one the window uses).</source>
        <translation>芯片列表文件（默认：与窗口程序相同）。</translation>
    </message>
    <message>
        <source>Start address, decimal or 0x-prefixed hexadecimal (default 0).</source>
        <translation>起始地址，十进制或 0x 开头的十六进制（默认 0）。</translation>
    </message>
    <message>
        <source>Bytes to read (default: to the end of the chip).</source>
        <translation>读取的字节数（默认：读到芯片末尾）。</translation>
    </message>
    <message>
        <source>File format: bin, ihex or srec (default: by extension, else by content).</source>
        <translation>文件格式：bin、ihex 或 srec（默认：按扩展名，
否则按内容）。</translation>
    </message>
    <message>
        <source>Data bytes per record in a written Intel HEX or S-record file: 16 (default) or 32.</source>
        <translation>写出 Intel HEX 或 S-record 文件时每条记录的数据
字节数：16（默认）或 32。</translation>
    </message>
    <message>
        <source>Go on when the chip&apos;s ID differs from the chosen record&apos;s.</source>
        <translation>芯片 ID 与所选记录不符时仍继续。</translation>
    </message>
    <message>
        <source>write, flash, erase, erase-sectors: clear block protection that covers the range first.</source>
        <translation>write、flash、erase、erase-sectors：先解除覆盖
该范围的块保护。</translation>
    </message>
    <message>
        <source>read: read twice and compare, to catch a bad contact or too fast a clock.</source>
        <translation>read：读两次并比较，以发现接触不良或时钟过快。</translation>
    </message>
    <message>
        <source>detect: add a record built from the chip&apos;s SFDP table to the chip list when no record has its ID.</source>
        <translation>detect：没有记录与芯片 ID 相符时，按芯片的 SFDP 表
生成一条记录加入芯片列表。</translation>
    </message>
    <message>
        <source>status: write a status register (SR1, SR2, SR3), as REG=VALUE; repeatable.</source>
        <translation>status：写状态寄存器（SR1、SR2、SR3），格式为
REG=VALUE；可重复。</translation>
    </message>
    <message>
        <source>status --set: write volatile values (50 first), lost at power-off.</source>
        <translation>status --set：写入易失值（先发 50），断电后丢失。</translation>
    </message>
    <message>
        <source>--device takes an adapter index, not &quot;%1&quot;</source>
        <translation>--device 需要设备序号，而不是“%1”</translation>
    </message>
    <message>
        <source>--port takes SPI1-CS0 ... SPI2-CS4, not &quot;%1&quot;</source>
        <translation>--port 需要 SPI1-CS0 ... SPI2-CS4，而不是“%1”</translation>
    </message>
    <message>
        <source>--speed takes 50, 25, 12.5, 6.25 or 3.125, not &quot;%1&quot;</source>
        <translation>--speed 需要 50、25、12.5、6.25 或 3.125，而不是“%1”</translation>
    </message>
    <message>
        <source>--address takes a number such as 4096 or 0x1000, not &quot;%1&quot;</source>
        <translation>--address 需要数字，如 4096 或 0x1000，而不是“%1”</translation>
    </message>
    <message>
        <source>--length takes a number such as 4096 or 0x1000, not &quot;%1&quot;</source>
        <translation>--length 需要数字，如 4096 或 0x1000，而不是“%1”</translation>
    </message>
    <message>
        <source>--format takes bin, ihex or srec, not &quot;%1&quot;</source>
        <translation>--format 需要 bin、ihex 或 srec，而不是“%1”</translation>
    </message>
    <message>
        <source>--record-size takes 16 or 32, not &quot;%1&quot;</source>
        <translation>--record-size 需要 16 或 32，而不是“%1”</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>未给出命令</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>未知命令“%1”</translation>
    </message>
    <message>
        <source>%1: missing argument</source>
        <translation>%1：缺少参数</translation>
    </message>
    <message>
        <source>%1: unexpected argument &quot;%2&quot;</source>
        <translation>%1：多余的参数“%2”</translation>
    </message>
    <message>
        <source>--%1 is for %2 only</source>
        <translation>--%1 只用于 %2</translation>
    </message>
    <message>
        <source>cannot read the chip list %1: %2</source>
        <translation>无法读取芯片列表 %1：%2</translation>
    </message>
    <message>
        <source>no adapter found (to try the program without one: --adapter sim)</source>
        <translation>未找到设备（没有设备时试用本程序：--adapter sim）</translation>
    </message>
    <message>
        <source>no adapter found for --adapter %1</source>
        <translation>未找到 --adapter %1 的设备</translation>
    </message>
    <message>
        <source>there is no adapter %1: %2 found (see &apos;korvane-spi adapters&apos;)</source>
        <translation>没有设备 %1：共找到 %2 个（见“korvane-spi adapters”）</translation>
    </message>
    <message>
        <source>no chip named &quot;%1&quot; in %2 (&apos;korvane-spi chips %1&apos; lists names like it)</source>
        <translation>%2 中没有名为“%1”的芯片（“korvane-spi chips %1”列出相近的名称）</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>&quot;%1&quot; names more than one chip: %2</source>
        <translation>“%1”对应多个芯片：%2</translation>
    </message>
    <message>
        <source>no record in %1 has the chip&apos;s ID %2; name the chip with --chip</source>
        <translation>%1 中没有记录与芯片 ID %2 相符；请用 --chip 指定芯片</translation>
    </message>
    <message>
        <source>the chip&apos;s ID %1 matches records that differ: %2; choose one with --chip</source>
        <translation>芯片 ID %1 与多条不同的记录相符：%2；请用 --chip 选择一个</translation>
    </message>
    <message>
        <source>Chip: %1 (ID %2)</source>
        <translation>芯片：%1（ID %2）</translation>
    </message>
    <message>
        <source>The adapter runs the SPI clock at %1 MHz (asked: %2 MHz).</source>
        <translation>设备的 SPI 时钟为 %1 MHz（要求：%2 MHz）。</translation>
    </message>
    <message>
        <source>the chip&apos;s ID %1 differs from %2&apos;s ID %3</source>
        <translation>芯片 ID %1 与 %2 的 ID %3 不符</translation>
    </message>
    <message>
        <source>; --yes goes on anyway</source>
        <translation>；加 --yes 仍可继续</translation>
    </message>
    <message>
        <source>warning: </source>
        <translation>警告：</translation>
    </message>
    <message>
        <source>%1: %2 file, %3 bytes from %4</source>
        <translation>%1：%2 文件，%3 字节，起始于 %4</translation>
    </message>
    <message>
        <source>the chip&apos;s SFDP table says %1, %2&apos;s record %3</source>
        <translation>芯片的 SFDP 表为 %1，%2 的记录为 %3</translation>
    </message>
    <message>
        <source>; korvane-spi cannot unlock single blocks; --yes goes on anyway</source>
        <translation>；korvane-spi 无法解锁单个块；加 --yes 仍可继续</translation>
    </message>
    <message>
        <source>; --unprotect clears the protection first</source>
        <translation>；加 --unprotect 可先解除保护</translation>
    </message>
    <message>
        <source>cannot clear the protection (%1): %2</source>
        <translation>无法解除保护（%1）：%2</translation>
    </message>
    <message>
        <source>Cleared the protection (%1).</source>
        <translation>已解除保护（%1）。</translation>
    </message>
    <message>
        <source>  serial %1</source>
        <translation>  序列号 %1</translation>
    </message>
    <message>
        <source>clocks unknown (%1)</source>
        <translation>时钟未知（%1）</translation>
    </message>
    <message>
        <source>clocks for -s %1: %2 MHz</source>
        <translation>-s %1 对应的时钟：%2 MHz</translation>
    </message>
    <message>
        <source>ID: %1</source>
        <translation>ID：%1</translation>
    </message>
    <message>
        <source>SFDP: %1</source>
        <translation>SFDP：%1</translation>
    </message>
    <message>
        <source>SFDP: none</source>
        <translation>SFDP：无</translation>
    </message>
    <message>
        <source>%1 records have this ID:</source>
        <translation>%1 条记录具有此 ID：</translation>
    </message>
    <message>
        <source>no record in %1 has this ID; --add adds one built from the chip&apos;s SFDP table</source>
        <translation>%1 中没有记录具有此 ID；加 --add 可按芯片的 SFDP 表添加一条</translation>
    </message>
    <message>
        <source>no record in %1 has this ID</source>
        <translation>%1 中没有记录具有此 ID</translation>
    </message>
    <message>
        <source>%1 has a record with this ID already; nothing added</source>
        <translation>%1 中已有具有此 ID 的记录；未添加</translation>
    </message>
    <message>
        <source>the chip has no SFDP table to build a record from; nothing added</source>
        <translation>芯片没有可用于生成记录的 SFDP 表；未添加</translation>
    </message>
    <message>
        <source>the chip&apos;s SFDP table describes no chip a record can hold; nothing added</source>
        <translation>芯片的 SFDP 表所描述的芯片无法存为记录；未添加</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>Added %1 (%2) to %3.</source>
        <translation>已将 %1（%2）添加到 %3。</translation>
    </message>
    <message>
        <source>the start address %1 is not inside the %2-byte chip</source>
        <translation>起始地址 %1 不在 %2 字节的芯片范围内</translation>
    </message>
    <message>
        <source>--length 0: nothing to read</source>
        <translation>--length 0：没有数据可读</translation>
    </message>
    <message>
        <source>%1 bytes from %2 run past the end of the %3-byte chip</source>
        <translation>从 %2 起的 %1 字节超出了 %3 字节芯片的末尾</translation>
    </message>
    <message>
        <source>not enough memory for %1 bytes</source>
        <translation>内存不足，无法分配 %1 字节</translation>
    </message>
    <message>
        <source>reading twice</source>
        <translation>读数据（两次）</translation>
    </message>
    <message>
        <source>reading</source>
        <translation>读数据</translation>
    </message>
    <message>
        <source>read failed: %1 (--speed)</source>
        <translation>读数据出错：%1（--speed）</translation>
    </message>
    <message>
        <source>read failed: %1</source>
        <translation>读数据出错：%1</translation>
    </message>
    <message>
        <source>Read %1 bytes from %2 into %3 in %4 s, the same both times.</source>
        <translation>已从 %2 读出 %1 字节到 %3，耗时 %4 秒，两次结果相同。</translation>
    </message>
    <message>
        <source>Read %1 bytes from %2 into %3 in %4 s.</source>
        <translation>已从 %2 读出 %1 字节到 %3，耗时 %4 秒。</translation>
    </message>
    <message>
        <source>writing</source>
        <translation>写数据</translation>
    </message>
    <message>
        <source>write failed: %1</source>
        <translation>写数据出错：%1</translation>
    </message>
    <message>
        <source>Wrote %1 bytes at %2 in %3 s.</source>
        <translation>已在 %2 写入 %1 字节，耗时 %3 秒。</translation>
    </message>
    <message>
        <source>verifying</source>
        <translation>校验数据</translation>
    </message>
    <message>
        <source>verify failed: %1 bytes differ, the first at %2</source>
        <translation>数据校验失败：%1 字节不同，第一个在 %2</translation>
    </message>
    <message>
        <source>verify failed: %1</source>
        <translation>校验数据出错：%1</translation>
    </message>
    <message>
        <source>Verified %1 bytes at %2 in %3 s: the chip matches %4.</source>
        <translation>已校验 %2 起的 %1 字节，耗时 %3 秒：芯片与 %4 一致。</translation>
    </message>
    <message>
        <source>erasing the chip</source>
        <translation>整片擦除</translation>
    </message>
    <message>
        <source>erase failed: %1</source>
        <translation>擦除数据出错：%1</translation>
    </message>
    <message>
        <source>Erased the chip in %1 s.</source>
        <translation>整片擦除完成，耗时 %1 秒。</translation>
    </message>
    <message>
        <source>erase-sectors takes two numbers, FIRST and COUNT</source>
        <translation>erase-sectors 需要两个数字：FIRST 和 COUNT</translation>
    </message>
    <message>
        <source>sectors %1 to %2 are not all inside the chip, which has %3 sectors</source>
        <translation>扇区 %1 到 %2 不全在芯片内，芯片共有 %3 个扇区</translation>
    </message>
    <message>
        <source>erasing sectors</source>
        <translation>扇区擦除</translation>
    </message>
    <message>
        <source>sector erase failed: %1</source>
        <translation>扇区擦除出错：%1</translation>
    </message>
    <message>
        <source>Erased %1 sectors of %2 bytes from sector %3.</source>
        <translation>已从扇区 %3 起擦除 %1 个扇区，每个 %2 字节。</translation>
    </message>
    <message>
        <source>Adapter:          %1 (%2, %3)</source>
        <translation>设备：    %1（%2，%3）</translation>
    </message>
    <message>
        <source>Firmware name:    %1</source>
        <translation>固件名称：%1</translation>
    </message>
    <message>
        <source>Build date:       %1</source>
        <translation>编译日期：%1</translation>
    </message>
    <message>
        <source>Firmware version: %1</source>
        <translation>固件版本：%1</translation>
    </message>
    <message>
        <source>Hardware version: %1</source>
        <translation>硬件版本：%1</translation>
    </message>
    <message>
        <source>Serial number:    %1</source>
        <translation>序列号：  %1</translation>
    </message>
    <message>
        <source>Functions:        %1</source>
        <translation>固件功能：%1</translation>
    </message>
    <message>
        <source>cannot open %1: no such file</source>
        <translation>无法打开 %1：文件不存在</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 不是普通文件</translation>
    </message>
    <message>
        <source>firmware upgrade failed: </source>
        <translation>固件升级失败：</translation>
    </message>
    <message>
        <source>The adapter&apos;s firmware was upgraded from %1 and restarted.</source>
        <translation>已用 %1 升级设备固件，设备已重启。</translation>
    </message>
    <message>
        <source>--set takes REG=VALUE, REG one of SR1, SR2, SR3, VALUE a byte such as 0x1c, not &quot;%1&quot;</source>
        <translation>--set 需要 REG=VALUE，REG 为 SR1、SR2、SR3 之一，VALUE 为一个字节，如 0x1c，而不是“%1”</translation>
    </message>
    <message>
        <source>this chip has no status register %1</source>
        <translation>该芯片没有状态寄存器 %1</translation>
    </message>
    <message>
        <source>status write failed: %1</source>
        <translation>写状态寄存器出错：%1</translation>
    </message>
    <message>
        <source>Protection: %1</source>
        <translation>保护：%1</translation>
    </message>
    <message>
        <source>SRL is set: the status registers cannot be written until the chip is powered off.</source>
        <translation>SRL 已置位：芯片断电之前无法写状态寄存器。</translation>
    </message>
    <message>
        <source>SRP is set: while /WP is held low the status registers cannot be written.</source>
        <translation>SRP 已置位：/WP 保持低电平时无法写状态寄存器。</translation>
    </message>
    <message>
        <source>flashing</source>
        <translation>智能写入</translation>
    </message>
    <message>
        <source>flash failed: %1</source>
        <translation>智能写入出错：%1</translation>
    </message>
    <message>
        <source>Flashed %1 bytes at %2: %3 blocks erased (%4), %5 pages programmed, %6 of %1 bytes unchanged, in %7 s.</source>
        <translation>已在 %2 智能写入 %1 字节：擦除 %3 个块（%4），编程 %5 页，%1 字节中 %6 字节无需改动，耗时 %7 秒。</translation>
    </message>
    <message>
        <source>--length 0: nothing to check</source>
        <translation>--length 0：没有数据可查</translation>
    </message>
    <message>
        <source>checking</source>
        <translation>查空</translation>
    </message>
    <message>
        <source>not blank: %1</source>
        <translation>不是空片：%1</translation>
    </message>
    <message>
        <source>blank check failed: %1</source>
        <translation>查空出错：%1</translation>
    </message>
    <message>
        <source>Blank: the %1 bytes from %2 are erased (checked in %3 s).</source>
        <translation>空片：从 %2 起的 %1 字节均已擦除（查空耗时 %3 秒）。</translation>
    </message>
    <message>
        <source>%1, page %2, sector %3, %4-byte addresses</source>
        <translation>%1，页大小 %2，扇区大小 %3，%4 字节地址</translation>
    </message>
    <message>
        <source>raw binary</source>
        <translation>二进制</translation>
    </message>
    <message>
        <source>Intel HEX</source>
        <translation>Intel HEX</translation>
    </message>
    <message>
        <source>S-record</source>
        <translation>S-record</translation>
    </message>
    <message>
        <source>%1 is empty</source>
        <translation>%1 是空文件</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>无法打开 %1：%2</translation>
    </message>
    <message>
        <source>%1 (%2 bytes) does not fit between %3 and the end of the %4-byte chip</source>
        <translation>%1（%2 字节）超出了从 %3 到 %4 字节芯片末尾的范围</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>%1 is no valid %2 file: %3</source>
        <translation>%1 不是有效的 %2 文件：%3</translation>
    </message>
    <message>
        <source>%1 holds no data</source>
        <translation>%1 中没有数据</translation>
    </message>
    <message>
        <source>, placed at %1,</source>
        <translation>（放在 %1）</translation>
    </message>
    <message>
        <source>%1: the data from %2 to %3%4 does not fit the %5-byte chip</source>
        <translation>%1：从 %2 到 %3 的数据%4超出了 %5 字节的芯片</translation>
    </message>
    <message>
        <source>no chip list found; looked for %1; --db names one</source>
        <translation>找不到芯片列表，已查找 %1；可用 --db 指定</translation>
    </message>
    <message>
        <source>warning: %1: record %2 left out: %3</source>
        <translation>警告：%1：已略过第 %2 条记录：%3</translation>
    </message>
    <message>
        <source>warning: %1: and %2 more left out</source>
        <translation>警告：%1：另有 %2 条已略过</translation>
    </message>
    <message>
        <source>cannot write to standard output: %1</source>
        <translation>无法写入标准输出：%1</translation>
    </message>
    <message>
        <source>%1: %2 file, %3 bytes in %4 runs from %5 to %6; the chip keeps what it holds between them</source>
        <translation>%1：%2 文件，%3 字节，分 %4 段，从 %5 到 %6；段与段之间芯片内容保持不变</translation>
    </message>
    <message>
        <source>standard output</source>
        <translation>标准输出</translation>
    </message>
    <message>
        <source>%1; to write to standard output use -</source>
        <translation>%1；要写到标准输出请用 -</translation>
    </message>
    <message>
        <source>the chip list %1 holds no valid chip record</source>
        <translation>芯片列表 %1 中没有有效的芯片记录</translation>
    </message>
    <message>
        <source>write: do not read the data back to check it.</source>
        <translation>write：写入后不读回检查。</translation>
    </message>
    <message>
        <source>--length %1 does not fit the %2 bytes from %3 to %4 that %5 holds</source>
        <translation>--length %1 超出了 %5 中从 %3 到 %4 的 %2 字节</translation>
    </message>
    <message>
        <source>writing and reading back</source>
        <translation>正在写入并读回</translation>
    </message>
    <message>
        <source>write failed: the chip does not hold what was written: %1 bytes differ, the first at %2</source>
        <translation>写入失败：芯片中的内容与写入的数据不同：有 %1 字节不同，第一个在 %2</translation>
    </message>
    <message>
        <source>Wrote %1 bytes at %2 in %3 s, read back and compared.</source>
        <translation>已在 %2 写入 %1 字节，耗时 %3 秒，已读回比较。</translation>
    </message>
    <message>
        <source>--length 0: nothing to erase</source>
        <translation>--length 0：没有要擦除的内容</translation>
    </message>
    <message>
        <source>%1-%2 is not whole %3 erase blocks; the blocks that cover it are %4-%5</source>
        <translation>%1-%2 不是整数个 %3 擦除块；覆盖它的擦除块是 %4-%5</translation>
    </message>
    <message>
        <source>erasing</source>
        <translation>正在擦除</translation>
    </message>
    <message>
        <source>erase failed: %1; %2-%3 is erased</source>
        <translation>擦除失败：%1；%2-%3 已擦除</translation>
    </message>
    <message>
        <source>Erased %1 bytes from %2 in %3 s.</source>
        <translation>已从 %2 擦除 %1 字节，耗时 %3 秒。</translation>
    </message>
    <message>
        <source>cannot open the adapter: %1</source>
        <translation>打开设备失败：%1</translation>
    </message>
    <message>
        <source>--volatile makes a --set write volatile; without --set there is nothing to write</source>
        <translation>--volatile 使 --set 的写入为易失性写入；没有 --set 就没有要写入的内容</translation>
    </message>
    <message>
        <source>detect reads the chip&apos;s ID; --chip names a record and is for the other commands</source>
        <translation>detect 读取芯片的 ID；--chip 指定一条记录，用于其他命令</translation>
    </message>
    <message>
        <source>no adapter found for --adapter %1: %2</source>
        <translation>未找到 --adapter %1 的设备：%2</translation>
    </message>
    <message>
        <source>the adapter cannot read the status register; block protection was not checked</source>
        <translation>设备无法读取状态寄存器，未检查块保护</translation>
    </message>
    <message>
        <source>%1 bits 0x%2 are not written (the chip&apos;s own, one-time or reserved)</source>
        <translation>%1 的位 0x%2 不会写入（芯片自有、一次性或保留位）</translation>
    </message>
    <message>
        <source>the chip&apos;s family is not known: bits 2 to 6 of SR1 are taken to protect all of it</source>
        <translation>芯片系列未知：SR1 的位 2 到 6 视为保护整个芯片</translation>
    </message>
    <message>
        <source>No progress line and no notes; warnings and errors still appear.</source>
        <translation>不显示进度和提示；警告和错误仍会显示。</translation>
    </message>
    <message>
        <source>; %1-%2 is now erased or partly written: run flash again to finish</source>
        <translation>；%1-%2 现在已擦除或只写入了一部分：请再次运行 flash 完成写入</translation>
    </message>
    <message>
        <source>Reads, writes, verifies and erases SPI NOR flash chips through a USB-to-SPI adapter.

Commands:
  adapters                   list the adapters found
  chips [PATTERN]            list chip records, filtered by a case-insensitive substring
  detect                     read the chip&apos;s ID and SFDP table and list every matching record
  read FILE                  read the chip into FILE, - for standard output (from
                             --address, --length bytes)
  write FILE                 write FILE at --address (without erasing first)
  flash FILE                 write FILE at --address, erasing and programming only what differs
  verify FILE                compare the chip with FILE at --address
  blank-check                check that the chip (or --address, --length) is erased
  erase                      erase the whole chip
  erase-sectors FIRST COUNT  erase COUNT sectors from sector FIRST
  status                     show the status registers bit by bit and what they protect
  info                       show the adapter&apos;s firmware information
  upgrade FILE               upgrade the adapter&apos;s firmware
  produce IMAGE              program one chip after another with IMAGE (see Production)

Without --chip the chip is identified by its ID. write, flash, erase and erase-sectors refuse
to touch a write-protected part of the chip unless --unprotect is given. Exit status: 0
success, 1 the operation failed (a verify mismatch included), 2 the command line is wrong.

Files are raw binary, Intel HEX (.hex .ihex .ihx) or S-record (.srec .s19 .s28 .s37 .mot),
by --format, else by extension, else by content. A record file goes to its own addresses
unless --address places its lowest address elsewhere; write, flash and verify take only
the bytes it holds, and between its records the chip keeps what it holds. read refuses
a device, FIFO, socket or directory as FILE.

Production: produce waits for a chip, programs it (smart write, or --erase), reads it
back, logs it (--log), says PASS or FAIL, waits until it is removed, and so on until
Ctrl+C or --count units passed; each adapter found (or --adapter given) is a station.
--serial-at puts a serial number into each unit, counted in --serial-file; a serial a
crash left in flight stops the next run until --resume-serial says reuse or skip.

Adapters (--adapter):
</source>
        <translation>通过 USB 转 SPI 设备读、写、校验和擦除 SPI NOR 闪存芯片。

命令：
  adapters                   列出找到的设备
  chips [PATTERN]            列出芯片记录，按部分名称筛选，不分大小写
  detect                     读取芯片 ID 和 SFDP 表，列出所有相符的记录
  read FILE                  读数据到 FILE，- 为标准输出（从 --address 起，
                             --length 字节）
  write FILE                 在 --address 写入 FILE（不先擦除）
  flash FILE                 智能写入：在 --address 写入 FILE，只擦写不同的部分
  verify FILE                在 --address 将芯片与 FILE 校验
  blank-check                查空：检查芯片（或 --address、--length）是否已擦除
  erase                      整片擦除
  erase-sectors FIRST COUNT  扇区擦除：从扇区 FIRST 起擦除 COUNT 个扇区
  status                     逐位显示状态寄存器及其保护范围
  info                       显示设备的固件信息
  upgrade FILE               固件升级
  produce IMAGE              量产：一片接一片地烧录 IMAGE（见“量产”）

不指定 --chip 时按芯片 ID 识别芯片。除非给出 --unprotect，write、flash、
erase 和 erase-sectors 不会改动芯片上写保护的部分。退出状态：0 成功，
1 操作失败（包括校验不符），2 命令行有误。

文件可以是二进制、Intel HEX（.hex .ihex .ihx）或 S-record（.srec .s19 .s28
.s37 .mot），依次按 --format、扩展名、内容判断。记录文件写到其自身的地址，
除非 --address 把它的最低地址放到别处；write、flash 和 verify 只处理文件中
有的字节，记录之间的芯片内容保持不变。read 不接受设备、FIFO、套接字或目录
作为 FILE。

量产：produce 等待芯片，烧录（智能写入，或 --erase 擦除后写入）并读回校验，
记入日志（--log），显示 PASS 或 FAIL，等芯片取下后再等下一片，直到 Ctrl+C
或通过 --count 片；找到的（或 --adapter 给出的）每个设备各是一个工位。
--serial-at 给每片写入序列号，计数保存在 --serial-file；因崩溃而未完成的
序列号会让下次运行停下，直到 --resume-serial 指定 reuse 或 skip。

设备（--adapter）：
</translation>
    </message>
    <message>
        <source>read, write, verify, produce: the SHA-256 the data (read) or the file must have.</source>
        <translation>read、write、verify、produce：读出的数据或文件
应有的 SHA-256。</translation>
    </message>
    <message>
        <source>read, write, verify, produce: the CRC-32 it must have.</source>
        <translation>read、write、verify、produce：应有的 CRC-32。</translation>
    </message>
    <message>
        <source>produce: stop after N units passed.</source>
        <translation>produce：通过 N 片后停止。</translation>
    </message>
    <message>
        <source>produce: erase the chip, then write (default: smart write).</source>
        <translation>produce：先整片擦除再写入（默认智能写入）。</translation>
    </message>
    <message>
        <source>produce: put each unit&apos;s serial number at this address.</source>
        <translation>produce：在此地址写入每片的序列号。</translation>
    </message>
    <message>
        <source>produce: dec or hex (ASCII digits), le or be (binary bytes); default dec.</source>
        <translation>produce：dec、hex（文本）或 le、be（字节）；
默认 dec。</translation>
    </message>
    <message>
        <source>produce: bytes the serial takes (default 8 digits, 4 bytes).</source>
        <translation>produce：序列号占的字节数（默认 8 位数字或 4 字节）。</translation>
    </message>
    <message>
        <source>produce: the first serial of a new --serial-file.</source>
        <translation>produce：新的 --serial-file 的第一个序列号。</translation>
    </message>
    <message>
        <source>produce: the file that keeps the serial counter.</source>
        <translation>produce：保存序列号计数的文件。</translation>
    </message>
    <message>
        <source>produce: append a line per unit to this file.</source>
        <translation>produce：每片在此文件追加一行日志。</translation>
    </message>
    <message>
        <source>produce: csv (default) or jsonl.</source>
        <translation>produce：csv（默认）或 jsonl。</translation>
    </message>
    <message>
        <source>produce: what to do with a serial a crash left in flight: reuse or skip.</source>
        <translation>produce：上次中断未完成的序列号：reuse 或 skip。</translation>
    </message>
    <message>
        <source>--sha256 takes 64 hexadecimal digits, not &quot;%1&quot;</source>
        <translation>--sha256 需要 64 位十六进制数，而不是“%1”</translation>
    </message>
    <message>
        <source>--crc32 takes 8 hexadecimal digits, not &quot;%1&quot;</source>
        <translation>--crc32 需要 8 位十六进制数，而不是“%1”</translation>
    </message>
    <message>
        <source>%1 has the SHA-256 %2, not the %3 expected</source>
        <translation>%1 的 SHA-256 是 %2，不是期望的 %3</translation>
    </message>
    <message>
        <source>%1 has the CRC-32 %2, not the %3 expected</source>
        <translation>%1 的 CRC-32 是 %2，不是期望的 %3</translation>
    </message>
    <message>
        <source>the data read</source>
        <translation>读出的数据</translation>
    </message>
    <message>
        <source>--count takes a number of units, 1 or more, not &quot;%1&quot;</source>
        <translation>--count 需要片数（1 或更多），而不是“%1”</translation>
    </message>
    <message>
        <source>--serial-at takes an address such as 0x1000, not &quot;%1&quot;</source>
        <translation>--serial-at 需要地址，如 0x1000，而不是“%1”</translation>
    </message>
    <message>
        <source>--serial-format takes dec, hex, le or be, not &quot;%1&quot;</source>
        <translation>--serial-format 只接受 dec、hex、le 或 be，而不是“%1”</translation>
    </message>
    <message>
        <source>--serial-size takes a number of bytes, not &quot;%1&quot;</source>
        <translation>--serial-size 需要字节数，而不是“%1”</translation>
    </message>
    <message>
        <source>--serial-start takes a number, not &quot;%1&quot;</source>
        <translation>--serial-start 需要一个数，而不是“%1”</translation>
    </message>
    <message>
        <source>--log-format takes csv or jsonl, not &quot;%1&quot;</source>
        <translation>--log-format 只接受 csv 或 jsonl，而不是“%1”</translation>
    </message>
    <message>
        <source>--resume-serial takes reuse or skip, not &quot;%1&quot;</source>
        <translation>--resume-serial 只接受 reuse 或 skip，而不是“%1”</translation>
    </message>
    <message>
        <source>--adapter is given %1 times; only produce runs on several adapters</source>
        <translation>--adapter 给了 %1 次；只有 produce 可以用多个设备</translation>
    </message>
    <message>
        <source>--serial-format, --serial-size, --serial-start and --serial-file go with --serial-at</source>
        <translation>--serial-format、--serial-size、--serial-start 和 --serial-file 须与 --serial-at 一起用</translation>
    </message>
    <message>
        <source>--serial-at needs --serial-file FILE, where the serial counter is kept</source>
        <translation>--serial-at 需要 --serial-file FILE 来保存序列号计数</translation>
    </message>
    <message>
        <source>--resume-serial is for the serials of --serial-file</source>
        <translation>--resume-serial 用于 --serial-file 的序列号</translation>
    </message>
    <message>
        <source>--log-format needs --log FILE</source>
        <translation>--log-format 需要 --log FILE</translation>
    </message>
    <message>
        <source>--serial-size takes 1 to %1 with --serial-format %2</source>
        <translation>--serial-format %2 时 --serial-size 只能是 1 到 %1</translation>
    </message>
    <message>
        <source>--device picks one adapter of one --adapter; with several, each adapter found is a station</source>
        <translation>--device 从一个 --adapter 中选一个设备；给了多个 --adapter 时，找到的每个设备各是一个工位</translation>
    </message>
    <message>
        <source>unit %1, chip %2, serial %3</source>
        <translation>第 %1 片，芯片 %2，序列号 %3</translation>
    </message>
    <message>
        <source>unit %1, chip %2</source>
        <translation>第 %1 片，芯片 %2</translation>
    </message>
    <message>
        <source>, serial %1</source>
        <translation>，序列号 %1</translation>
    </message>
    <message>
        <source>PASS unit %1%2, chip %3, %4 s</source>
        <translation>PASS 第 %1 片%2，芯片 %3，%4 秒</translation>
    </message>
    <message>
        <source>FAIL unit %1%2, chip %3, %4 s: %5</source>
        <translation>FAIL 第 %1 片%2，芯片 %3，%4 秒：%5</translation>
    </message>
    <message>
        <source>%1 units passed, %2 failed.</source>
        <translation>通过 %1 片，失败 %2 片。</translation>
    </message>
    <message>
        <source>Next serial: %1.</source>
        <translation>下一个序列号：%1。</translation>
    </message>
    <message>
        <source>the serial&apos;s %1 bytes at %2 would run across the edge of the data %3 holds</source>
        <translation>在 %2 的 %1 字节序列号会跨越 %3 中数据的边界</translation>
    </message>
    <message>
        <source>%1 does not fit the %2-byte %3: its data ends at 0x%4</source>
        <translation>%1 超出了 %2 字节的 %3：其数据到 0x%4 结束</translation>
    </message>
    <message>
        <source>serial %1, left in flight on %2 by an interrupted run, is skipped</source>
        <translation>中断的运行在 %2 上留下未完成的序列号 %1，已跳过</translation>
    </message>
    <message>
        <source>serial %1, left in flight on %2 by an interrupted run, is handed out again</source>
        <translation>中断的运行在 %2 上留下未完成的序列号 %1，将重新使用</translation>
    </message>
    <message>
        <source>%1 goes on from %2; --serial-start is for a new file</source>
        <translation>%1 从 %2 继续；--serial-start 只用于新文件</translation>
    </message>
    <message>
        <source>Next serial: %1 (%2)</source>
        <translation>下一个序列号：%1（%2）</translation>
    </message>
    <message>
        <source>waiting for a chip (Ctrl+C stops)</source>
        <translation>等待芯片（Ctrl+C 停止）</translation>
    </message>
    <message>
        <source>remove the chip</source>
        <translation>请取下芯片</translation>
    </message>
    <message>
        <source>a station said what no station says: %1</source>
        <translation>工位发来无法识别的内容：%1</translation>
    </message>
    <message>
        <source>the station ended in the middle of unit %1; its serial stays in flight</source>
        <translation>工位在第 %1 片中途结束；其序列号仍记为未完成</translation>
    </message>
    <message>
        <source>cannot start a station: %1</source>
        <translation>无法启动工位：%1</translation>
    </message>
    <message>
        <source>%1 stations: %2</source>
        <translation>%1 个工位：%2</translation>
    </message>
</context>
<context>
    <name>FileAccess</name>
    <message>
        <source>Not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>Read ended before the end of the file</source>
        <translation>未读到文件末尾就已中断</translation>
    </message>
    <message>
        <source>%1 is a directory, not a regular file</source>
        <translation>%1 是目录，不是普通文件</translation>
    </message>
    <message>
        <source>%1 is a character device, not a regular file</source>
        <translation>%1 是字符设备，不是普通文件</translation>
    </message>
    <message>
        <source>%1 is a block device, not a regular file</source>
        <translation>%1 是块设备，不是普通文件</translation>
    </message>
    <message>
        <source>%1 is a FIFO, not a regular file</source>
        <translation>%1 是 FIFO，不是普通文件</translation>
    </message>
    <message>
        <source>%1 is a socket, not a regular file</source>
        <translation>%1 是套接字，不是普通文件</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 不是普通文件</translation>
    </message>
</context>
<context>
    <name>ImageError</name>
    <message>
        <source>not a record format</source>
        <translation>不是记录文件格式</translation>
    </message>
    <message>
        <source>does not start with &apos;:&apos;</source>
        <translation>不以“:”开头</translation>
    </message>
    <message>
        <source>wrong length</source>
        <translation>长度错误</translation>
    </message>
    <message>
        <source>not a hexadecimal digit</source>
        <translation>含有非十六进制字符</translation>
    </message>
    <message>
        <source>the length does not match the byte count</source>
        <translation>长度与字节数不符</translation>
    </message>
    <message>
        <source>wrong byte count for its type</source>
        <translation>字节数与记录类型不符</translation>
    </message>
    <message>
        <source>line %1: </source>
        <translation>第 %1 行：</translation>
    </message>
    <message>
        <source>not a valid record</source>
        <translation>不是有效的记录</translation>
    </message>
    <message>
        <source> (%1)</source>
        <translation>（%1）</translation>
    </message>
    <message>
        <source>bad checksum</source>
        <translation>校验和错误</translation>
    </message>
    <message>
        <source>unknown record type %1</source>
        <translation>记录类型 %1 无法识别</translation>
    </message>
    <message>
        <source>data beyond the 4 GiB address space</source>
        <translation>数据超出 4 GiB 地址范围</translation>
    </message>
    <message>
        <source>the record count %1 is not the number of data records before it</source>
        <translation>记录数 %1 与之前的数据记录数不符</translation>
    </message>
    <message>
        <source>different data than line %1 for address %2</source>
        <translation>地址 %2 的数据与第 %1 行不同</translation>
    </message>
    <message>
        <source>more records after the end record</source>
        <translation>结束记录之后还有记录</translation>
    </message>
    <message>
        <source>no end record: the file may be incomplete</source>
        <translation>没有结束记录：文件可能不完整</translation>
    </message>
    <message>
        <source>no data records</source>
        <translation>没有数据记录</translation>
    </message>
    <message>
        <source>the data from %1 to %2 spans %3 bytes, more than can be held</source>
        <translation>从 %1 到 %2 的数据共 %3 字节，超出可容纳的大小</translation>
    </message>
    <message>
        <source>does not start with &apos;S&apos;</source>
        <translation>不以“S”开头</translation>
    </message>
    <message>
        <source>no record type after &apos;S&apos;</source>
        <translation>“S”之后没有记录类型</translation>
    </message>
    <message>
        <source>too short for its address</source>
        <translation>长度不足以容纳地址</translation>
    </message>
    <message>
        <source>a count record holds no data</source>
        <translation>计数记录不能含有数据</translation>
    </message>
    <message>
        <source>an end record holds no data</source>
        <translation>结束记录不能含有数据</translation>
    </message>
</context>
<context>
    <name>OperationResult</name>
    <message>
        <source>done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>the adapter is not connected</source>
        <translation>该设备未连接</translation>
    </message>
    <message>
        <source>cannot open the adapter</source>
        <translation>打开设备失败</translation>
    </message>
    <message>
        <source>cannot open the adapter: %1</source>
        <translation>打开设备失败：%1</translation>
    </message>
    <message>
        <source>cannot configure the adapter for this chip: %1</source>
        <translation>配置设备失败：%1</translation>
    </message>
    <message>
        <source>cannot switch the chip to 4-byte addressing: %1</source>
        <translation>发送 EN4B 指令失败：%1</translation>
    </message>
    <message>
        <source>cannot read the chip&apos;s ID: %1</source>
        <translation>获取芯片 ID 失败：%1</translation>
    </message>
    <message>
        <source>the chip&apos;s ID differs from the chosen record&apos;s</source>
        <translation>芯片 ID 与所选记录不符</translation>
    </message>
    <message>
        <source>nothing to read: the start address is at or past the end of the chip</source>
        <translation>没有数据可读：起始地址在芯片末尾或之后</translation>
    </message>
    <message>
        <source>no data</source>
        <translation>没有数据</translation>
    </message>
    <message>
        <source>the data does not fit between the start address and the end of the chip</source>
        <translation>数据超出了从起始地址到芯片末尾的范围</translation>
    </message>
    <message>
        <source>failed at %1: %2</source>
        <translation>在 %1 处失败：%2</translation>
    </message>
    <message>
        <source>the chip stayed busy too long</source>
        <translation>芯片忙状态持续过久</translation>
    </message>
    <message>
        <source>%1 bytes differ, the first at %2</source>
        <translation>%1 字节不同，第一个在 %2</translation>
    </message>
    <message>
        <source>not enough memory</source>
        <translation>分配内存失败</translation>
    </message>
    <message>
        <source>this adapter&apos;s firmware cannot be upgraded</source>
        <translation>该设备的固件不能升级</translation>
    </message>
    <message>
        <source>cannot read the firmware file</source>
        <translation>打开固件文件失败</translation>
    </message>
    <message>
        <source>cannot read the adapter&apos;s firmware information</source>
        <translation>获取固件信息失败</translation>
    </message>
    <message>
        <source>the firmware file failed its check</source>
        <translation>固件文件校验失败</translation>
    </message>
    <message>
        <source>erasing the adapter&apos;s firmware failed</source>
        <translation>固件擦除失败</translation>
    </message>
    <message>
        <source>writing the firmware failed</source>
        <translation>写固件数据失败</translation>
    </message>
    <message>
        <source>writing the firmware&apos;s MD5 value failed</source>
        <translation>写固件 MD5 值失败</translation>
    </message>
    <message>
        <source>the written firmware failed its MD5 check</source>
        <translation>MD5 值校验失败</translation>
    </message>
    <message>
        <source>cannot read the status register: %1</source>
        <translation>读取状态寄存器失败：%1</translation>
    </message>
    <message>
        <source>status register %1 did not take 0x%2: it reads 0x%3</source>
        <translation>状态寄存器 %1 未能写入 0x%2：读回 0x%3</translation>
    </message>
    <message>
        <source>the status registers are locked: SRP is set and /WP is held low</source>
        <translation>状态寄存器已锁定：SRP 已置位且 /WP 为低电平</translation>
    </message>
    <message>
        <source>the status registers are locked until the chip is powered off (SRL is set)</source>
        <translation>状态寄存器在芯片断电前被锁定（SRL 已置位）</translation>
    </message>
    <message>
        <source>part of the range is write-protected</source>
        <translation>该范围有一部分处于写保护</translation>
    </message>
    <message>
        <source>%1 bytes are not erased, the first at %2</source>
        <translation>%1 字节未擦除，第一个在 %2</translation>
    </message>
    <message>
        <source>two reads differ in %1 bytes, the first at %2: a bad contact or too fast a clock; try a lower speed</source>
        <translation>两次读出的数据有 %1 字节不同，第一个在 %2：接触不良或时钟过快；请降低速度</translation>
    </message>
    <message>
        <source>the chip has no SFDP table</source>
        <translation>芯片没有 SFDP 表</translation>
    </message>
    <message>
        <source>the chip&apos;s SFDP table cannot be used</source>
        <translation>芯片的 SFDP 表无法使用</translation>
    </message>
    <message>
        <source>no erase size to work in: the record&apos;s sector size is not a power of two</source>
        <translation>没有可用的擦除大小：记录的扇区大小不是 2 的幂</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>no chip answered (the ID reads %1): check the wiring, the chip select (--port) and the chip&apos;s supply</source>
        <translation>没有芯片应答（ID 读出为 %1）：请检查接线、片选（--port）和芯片供电</translation>
    </message>
    <message>
        <source>the range %1-%2 does not start and end on the chip&apos;s erase blocks</source>
        <translation>范围 %1-%2 的起止没有对齐芯片的擦除块</translation>
    </message>
</context>
<context>
    <name>Production</name>
    <message>
        <source>the chip&apos;s ID %1 differs from %2&apos;s ID %3</source>
        <translation>芯片 ID %1 与 %2 的 ID %3 不同</translation>
    </message>
    <message>
        <source>the chip&apos;s SFDP table says %1, %2&apos;s record %3</source>
        <translation>芯片的 SFDP 表为 %1，%2 的记录为 %3</translation>
    </message>
    <message>
        <source>%1; unprotecting was not asked for</source>
        <translation>%1；没有要求解除保护</translation>
    </message>
    <message>
        <source>clearing the protection (%1)</source>
        <translation>正在解除保护（%1）</translation>
    </message>
    <message>
        <source>the adapter cannot read the status register; block protection was not checked</source>
        <translation>设备不能读取状态寄存器；没有检查块保护</translation>
    </message>
    <message>
        <source>%1 is in use by another run (it holds %1.lock)</source>
        <translation>%1 正被另一个运行使用（它持有 %1.lock）</translation>
    </message>
    <message>
        <source>cannot lock %1.lock: %2</source>
        <translation>无法锁定 %1.lock：%2</translation>
    </message>
    <message>
        <source>the serial file %1 does not exist; --serial-start N starts a new counter there</source>
        <translation>序列号文件 %1 不存在；用 --serial-start N 在那里开始新的计数</translation>
    </message>
    <message>
        <source>cannot read the serial file %1: %2</source>
        <translation>无法读取序列号文件 %1：%2</translation>
    </message>
    <message>
        <source>the serial file %1 has no &quot;next&quot; line</source>
        <translation>序列号文件 %1 没有“next”行</translation>
    </message>
    <message>
        <source>line %2 of the serial file %1 is not understood</source>
        <translation>序列号文件 %1 的第 %2 行无法识别</translation>
    </message>
    <message>
        <source>%1 on %2</source>
        <translation>%1（%2 上）</translation>
    </message>
    <message>
        <source>%1: a run ended without finishing its unit with serial %2 (a crash or a power cut): that board may or may not carry it. --resume-serial skip never hands it out, --resume-serial reuse hands it out again</source>
        <translation>%1：上次运行没有完成序列号为 %2 的那一片就结束了（崩溃或断电），那块板子可能已写入该序列号。--resume-serial skip 不再使用它，--resume-serial reuse 重新使用它</translation>
    </message>
    <message>
        <source>cannot write the serial file %1: %2; serial %3 stays in flight</source>
        <translation>无法写入序列号文件 %1：%2；序列号 %3 仍记为未完成</translation>
    </message>
    <message>
        <source>cannot write the serial file %1: %2</source>
        <translation>无法写入序列号文件 %1：%2</translation>
    </message>
    <message>
        <source>cannot write the log %1: %2; serial %3 stays in flight</source>
        <translation>无法写入日志 %1：%2；序列号 %3 仍记为未完成</translation>
    </message>
    <message>
        <source>cannot write the log %1: %2</source>
        <translation>无法写入日志 %1：%2</translation>
    </message>
    <message>
        <source>serial %1 does not fit the %2 bytes given to it</source>
        <translation>序列号 %1 超出给定的 %2 字节</translation>
    </message>
    <message>
        <source>the run this station belongs to is gone</source>
        <translation>本工位所属的运行已不在</translation>
    </message>
    <message>
        <source>left in flight by an interrupted run; skipped</source>
        <translation>中断的运行留下的未完成序列号；已跳过</translation>
    </message>
    <message>
        <source>left in flight by an interrupted run; to be used again</source>
        <translation>中断的运行留下的未完成序列号；将重新使用</translation>
    </message>
    <message>
        <source>no chip record for the ID %1</source>
        <translation>没有 ID 为 %1 的芯片记录</translation>
    </message>
    <message>
        <source>serial %1 cannot be put at %2</source>
        <translation>序列号 %1 不能放在 %2</translation>
    </message>
    <message>
        <source>the image does not fit the %1 chip</source>
        <translation>镜像超出了 %1 的芯片</translation>
    </message>
    <message>
        <source>cannot clear the protection (%1): %2</source>
        <translation>无法解除保护（%1）：%2</translation>
    </message>
    <message>
        <source>erase: %1</source>
        <translation>擦除：%1</translation>
    </message>
    <message>
        <source>program: %1</source>
        <translation>编程：%1</translation>
    </message>
    <message>
        <source>verify: %1</source>
        <translation>校验：%1</translation>
    </message>
</context>
<context>
    <name>ProgressLine</name>
    <message>
        <source>finding the adapter</source>
        <translation>查找设备</translation>
    </message>
    <message>
        <source>opening the adapter</source>
        <translation>打开设备</translation>
    </message>
    <message>
        <source>reading its information</source>
        <translation>获取设备信息</translation>
    </message>
    <message>
        <source>restarting it into its upgrade code</source>
        <translation>进入升级模式</translation>
    </message>
    <message>
        <source>checking the firmware file</source>
        <translation>检测固件文件</translation>
    </message>
    <message>
        <source>erasing the old firmware</source>
        <translation>擦除固件</translation>
    </message>
    <message>
        <source>writing the new firmware</source>
        <translation>写入新固件</translation>
    </message>
    <message>
        <source>%1/s  %2 left</source>
        <translation>%1/秒  剩余 %2</translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Usage: %1</source>
        <translation>用法：%1</translation>
    </message>
    <message>
        <source>[options]</source>
        <translation>[选项]</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>选项：</translation>
    </message>
    <message>
        <source>Arguments:</source>
        <translation>参数：</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>未知选项“%1”。</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>未知选项：%1。</translation>
    </message>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>“%1”之后缺少值。</translation>
    </message>
    <message>
        <source>Unexpected value after &apos;%1&apos;.</source>
        <translation>“%1”之后有多余的值。</translation>
    </message>
</context>
<context>
    <name>Sfdp</name>
    <message>
        <source>there is no basic flash parameter table</source>
        <translation>没有基本闪存参数表</translation>
    </message>
    <message>
        <source>the basic flash parameter table is too short</source>
        <translation>基本闪存参数表太短</translation>
    </message>
    <message>
        <source>the density 2^%1 bits cannot be right</source>
        <translation>容量 2^%1 位不可能正确</translation>
    </message>
    <message>
        <source>the density of %1 bits is no whole number of bytes</source>
        <translation>容量 %1 位不是整数个字节</translation>
    </message>
    <message>
        <source>erase type %1 has a size of 2^%2 bytes</source>
        <translation>擦除类型 %1 的大小为 2^%2 字节</translation>
    </message>
</context>
<context>
    <name>SimulatedAdapter</name>
    <message>
        <source>cannot create the folder %1: %2</source>
        <translation>无法创建文件夹 %1：%2</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>无法打开 %1：%2</translation>
    </message>
    <message>
        <source>%1 is in use by another program</source>
        <translation>%1 正被其他程序使用</translation>
    </message>
    <message>
        <source>cannot lock %1: %2</source>
        <translation>无法锁定 %1：%2</translation>
    </message>
    <message>
        <source>cannot reserve %1 bytes for %2: %3</source>
        <translation>无法为 %2 预留 %1 字节：%3</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>StatusOperations</name>
    <message>
        <source>%1 bytes</source>
        <translation>%1 字节</translation>
    </message>
    <message>
        <source>nothing is write-protected</source>
        <translation>没有写保护</translation>
    </message>
    <message>
        <source>%1 set, which protects nothing</source>
        <translation>%1 已置位，不保护任何区域</translation>
    </message>
    <message>
        <source>WPS is set: individual block locks apply, and the whole chip may be write-protected</source>
        <translation>WPS 已置位：使用单独的块锁定，整个芯片都可能处于写保护</translation>
    </message>
    <message>
        <source>%1 set; what they protect on this chip is not known: the whole chip may be write-protected</source>
        <translation>%1 已置位；不知道它们在该芯片上保护哪些区域：整个芯片都可能处于写保护</translation>
    </message>
    <message>
        <source>%1 set: %2-%3 (%4) is write-protected</source>
        <translation>%1 已置位：%2-%3（%4）处于写保护</translation>
    </message>
</context>
</TS>
