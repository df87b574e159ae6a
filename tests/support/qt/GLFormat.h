#ifndef NUVARO_TESTS_QT_GLFORMAT_H
#define NUVARO_TESTS_QT_GLFORMAT_H

// Asks for the OpenGL format the application uses (compatibility profile 2.1,
// depth, alpha, no multisampling) and for contexts that share their objects.
// Call before the QGuiApplication or QApplication is made.
void UseApplicationGLFormat();

#endif
