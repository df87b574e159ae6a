#ifndef NUVARO_GL_TIMERLISTENER_H
#define NUVARO_GL_TIMERLISTENER_H

// Receives the ticks of a display's repeating timer on the main thread.
class TimerListener
{
public:
    virtual ~TimerListener() {}
    virtual void TimerElapsed() = 0;
};

#endif
