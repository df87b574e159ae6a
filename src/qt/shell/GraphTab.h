#ifndef NUVARO_QT_SHELL_GRAPHTAB_H
#define NUVARO_QT_SHELL_GRAPHTAB_H

// Makes the relation graph view the renderer of every graph tab made from
// now on (see SetGraphTabMaker).
void InstallGraphTabMaker();

#endif
