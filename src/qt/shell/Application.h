#ifndef NUVARO_QT_SHELL_APPLICATION_H
#define NUVARO_QT_SHELL_APPLICATION_H

// The program: decides on the raw arguments whether to relaunch with the
// shipped files or to run the desktop application, and returns the exit
// status. Setting the environment variable NUVARO_QUIT_AFTER_FIRST_FRAME
// makes the application quit once the scene has drawn its first frame.
int RunNuvaro(int argc, char** argv);

#endif
