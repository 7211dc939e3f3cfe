#pragma once
// The program's only fixed places: the MAC allocation file and the folder
// the program runs from (where its help file lies). Fixed in the program;
// tests point them at folders of their own.

#include <QString>

struct FixedPaths {
    QString MacAllocationFile;
    QString ProgramDir;

    // "C:\DravonSetMACAddress\SetFullMACAddress.txt" on Windows; elsewhere
    // the same folder and file name under the user's home folder. The
    // program directory is the folder of the running executable.
    static FixedPaths Production();
};
