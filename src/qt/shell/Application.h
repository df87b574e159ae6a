#ifndef NUVARO_QT_SHELL_APPLICATION_H
#define NUVARO_QT_SHELL_APPLICATION_H

// The program: hands the user's files to the application already running on
// the desktop, or decides on the raw arguments whether to relaunch with the
// shipped files or to run the desktop application, and returns the exit
// status (0 after a hand-over or a relaunch). Setting the environment variable NUVARO_QUIT_AFTER_FIRST_FRAME
// makes the application quit once the scene has drawn its first frame;
// NUVARO_HANDOVER_GIVE_UP_MS sets how long a launch waits for the running
// application to take its files (20 s by default).
int RunNuvaro(int argc, char** argv);

#endif
