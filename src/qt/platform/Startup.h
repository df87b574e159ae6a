#ifndef NUVARO_QT_PLATFORM_STARTUP_H
#define NUVARO_QT_PLATFORM_STARTUP_H

// Puts the numeric locale back to "C", so that numbers in files are read and
// written with a decimal point whatever the user's locale; the rest of the
// locale (character types, messages) stays the user's. Call right after the
// application object exists: on Unix its constructor sets the whole locale
// from the environment.
void UseCNumericLocale();

#endif
