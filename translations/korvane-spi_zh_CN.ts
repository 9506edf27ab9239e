<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>AdapterResult</name>
    <message>
        <source>success</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>invalid argument</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the adapter was not configured for this chip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the transfer to the chip failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the chip stayed busy too long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the chip record cannot serve this operation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the range runs past the chip or past what its addresses reach</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>failure injected by a test</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the adapter is gone (unplugged?)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no permission to use the adapter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the adapter does not support this</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the adapter gave an answer that makes no sense</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the adapter did not answer in time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>adapter error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Backends</name>
    <message>
        <source>the simulated adapter takes no argument</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>lib needs the library&apos;s path, as in lib:/path/to/adapter.so</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1:N takes the index of one %1 adapter (0 is the first found), not &quot;%2&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>usb takes no argument</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>every USB programmer below, by bus and port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CH341A programmers (1a86:5512)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CH347T/CH347F programmers (1a86:55db, 1a86:55de)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FT232H in MPSSE mode (0403:6014)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FT2232H channel A in MPSSE mode (0403:6010)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the simulated adapter and chips</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a serprog programmer on a serial port (baud 115200 unless given)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Linux spidev; SPI1-CSn uses /dev/spidevB.n; HZ caps the clock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>an adapter library that exports the sixteen operations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown adapter &quot;%1&quot; (known: %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no such file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot load the adapter library %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the adapter library %1 lacks %2 of the %3 operations: %4</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>3-byte addresses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3- or 4-byte addresses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4-byte addresses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>addressing not given</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2-byte pages, erases %3, %4 (basic table %5.%6)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try &apos;korvane-spi --help&apos; for more information.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>korvane-spi: hint: install data/udev/%1 into /etc/udev/rules.d/, run &apos;udevadm control --reload&apos; and plug the programmer in again (see README, Hardware)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>what to do (see Commands above)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Which backend (see Adapters above); default: every adapter found, never the simulated one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Index in the adapter list (default 0).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPI1-CS0 ... SPI2-CS4 (default SPI1-CS0).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clock in MHz: 50, 25, 12.5, 6.25 or 3.125 (default 50).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A model from the chip list: an exact name or a unique substring, in any case. Without it the chip is identified by its ID.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The chip list file (default: the one the window uses).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start address, decimal or 0x-prefixed hexadecimal (default 0).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bytes to read (default: to the end of the chip).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File format: bin, ihex or srec (default: by extension, else by content).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data bytes per record in a written Intel HEX or S-record file: 16 (default) or 32.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Go on when the chip&apos;s ID differs from the chosen record&apos;s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No progress display.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write, flash, erase, erase-sectors: clear block protection that covers the range first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read: read twice and compare, to catch a bad contact or too fast a clock.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>detect: add a record built from the chip&apos;s SFDP table to the chip list when no record has its ID.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>status: write a status register (SR1, SR2, SR3), as REG=VALUE; repeatable.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>status --set: write volatile values (50 first), lost at power-off.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--device takes an adapter index, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--port takes SPI1-CS0 ... SPI2-CS4, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--speed takes 50, 25, 12.5, 6.25 or 3.125, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--address takes a number such as 4096 or 0x1000, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--length takes a number such as 4096 or 0x1000, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--format takes bin, ihex or srec, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--record-size takes 16 or 32, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no command given</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: missing argument</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: unexpected argument &quot;%2&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--%1 is for %2 only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot read the chip list %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no adapter found (to try the program without one: --adapter sim)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no adapter found for --adapter %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>there is no adapter %1: %2 found (see &apos;korvane-spi adapters&apos;)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no chip named &quot;%1&quot; in %2 (&apos;korvane-spi chips %1&apos; lists names like it)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; names more than one chip: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no record in %1 has the chip&apos;s ID %2; name the chip with --chip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the chip&apos;s ID %1 matches records that differ: %2; choose one with --chip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Chip: %1 (ID %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The adapter runs the SPI clock at %1 MHz (asked: %2 MHz).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the chip&apos;s ID %1 differs from %2&apos;s ID %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; --yes goes on anyway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>warning: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 file, %3 bytes from %4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the chip&apos;s SFDP table says %1, %2&apos;s record %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>warning: the adapter cannot read the status register; block protection was not checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; korvane-spi cannot unlock single blocks; --yes goes on anyway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; --unprotect clears the protection first</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot clear the protection (%1): %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cleared the protection (%1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  serial %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>clocks unknown (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>clocks for -s %1: %2 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ID: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SFDP: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SFDP: none</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 records have this ID:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no record in %1 has this ID; --add adds one built from the chip&apos;s SFDP table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no record in %1 has this ID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 has a record with this ID already; nothing added</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the chip has no SFDP table to build a record from; nothing added</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the chip&apos;s SFDP table describes no chip a record can hold; nothing added</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Added %1 (%2) to %3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the start address %1 is not inside the %2-byte chip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--length 0: nothing to read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 bytes from %2 run past the end of the %3-byte chip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not enough memory for %1 bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>reading twice</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>reading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read failed: %1 (--speed)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read %1 bytes from %2 into %3 in %4 s, the same both times.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read %1 bytes from %2 into %3 in %4 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>writing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wrote %1 bytes at %2 in %3 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>verifying</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>verify failed: %1 bytes differ, the first at %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>verify failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verified %1 bytes at %2 in %3 s: the chip matches %4.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erasing the chip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erase failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Erased the chip in %1 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erase-sectors takes two numbers, FIRST and COUNT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>sectors %1 to %2 are not all inside the chip, which has %3 sectors</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erasing sectors</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>sector erase failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Erased %1 sectors of %2 bytes from sector %3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Adapter:          %1 (%2, %3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Firmware name:    %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Build date:       %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Firmware version: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hardware version: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial number:    %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Functions:        %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot open %1: no such file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>firmware upgrade failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The adapter&apos;s firmware was upgraded from %1 and restarted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--set takes REG=VALUE, REG one of SR1, SR2, SR3, VALUE a byte such as 0x1c, not &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>this chip has no status register %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>warning: %1 bits 0x%2 are not written (the chip&apos;s own, one-time or reserved)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>status write failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Protection: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The chip&apos;s family is not known: bits 2 to 6 of SR1 are taken to protect all of it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SRL is set: the status registers cannot be written until the chip is powered off.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SRP is set: while /WP is held low the status registers cannot be written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>flashing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>flash failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Flashed %1 bytes at %2: %3 blocks erased (%4), %5 pages programmed, %6 of %1 bytes unchanged, in %7 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--length 0: nothing to check</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>checking</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not blank: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>blank check failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Blank: the %1 bytes from %2 are erased (checked in %3 s).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProgressLine</name>
    <message>
        <source>finding the adapter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>opening the adapter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>reading its information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>restarting it into its upgrade code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>checking the firmware file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erasing the old firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>writing the new firmware</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Sfdp</name>
    <message>
        <source>there is no basic flash parameter table</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
