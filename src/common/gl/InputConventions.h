#ifndef NUVARO_GL_INPUTCONVENTIONS_H
#define NUVARO_GL_INPUTCONVENTIONS_H

// How a platform view turns its events into MouseListener and KeyListener
// arguments, the same for every display.
namespace InputConventions
{
enum Flags
{
    FLAG_SHIFT = 1,
    FLAG_COMMAND = 2,
    FLAG_OPTION = 4
};

// Listener x from a view x (truncated toward zero).
int ListenerX(double viewX);
// Listener y (origin at the top-left pixel, growing downwards) from a view y
// measured upwards from the bottom edge of a view of the given height.
int ListenerY(double viewYUp, double viewHeight);
// Event time in seconds to unsigned milliseconds, clamped to 0..4294967295.
unsigned EventTime(double seconds);
// Modifier state to listener flags; Control is not reported.
int ModifierFlags(bool shift, bool command, bool option);
// Wheel delta: 100 times the vertical scroll amount, truncated toward zero.
int WheelDelta(double scrollAmount);
} // namespace InputConventions

#endif
