#pragma once

#include <QString>
#include <QStringList>

namespace korvane {

// The program's folder under the data folders: ~/.local/share/korvane-spiflash for the user's own
// copy of the chip list, <prefix>/share/korvane-spiflash for the installed one.
extern const char kDataFolderName[]; // "korvane-spiflash"

// Where a chip list may be, in the order it is looked for.
struct ChipListPlaces
{
    QString working;       // ./ChipListData.dat in the current directory
    QString user;          // the user's own copy; empty for none
    QStringList installed; // copies installed with the program, preferred first

    // The working file, the user's copy in the user's data folder, and the installed copies: the
    // one in the share folder beside the program's bin folder first (so that an installation
    // anywhere, or one staged for packaging, finds its own), then the system data folders.
    static ChipListPlaces standard();
};

// Which file the chip list is read from, and where changes to it are saved.
struct ChipListLocation
{
    QString readPath;
    QString savePath;
};

// The working file when there is one (whatever it is: a file there that cannot be read is
// reported, never passed over), else the user's copy when there is one, else the first installed
// copy, read but never written: changes go to the user's copy. With none anywhere, the working
// file, as a program started from its build folder expects.
ChipListLocation locateChipList(const ChipListPlaces& places);
ChipListLocation locateChipList();

// Creates the folder a save to path needs. false with the reason when it cannot be made.
bool makeChipListFolder(const QString& path, QString* errorString);

} // namespace korvane
