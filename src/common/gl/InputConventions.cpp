#include "gl/InputConventions.h"

#include <cmath>

namespace InputConventions
{
namespace
{
int Truncate(double value)
{
    if (!(value > -2147483648.0))
        return value != value ? 0 : -2147483647 - 1;
    if (value >= 2147483647.0)
        return 2147483647;
    return static_cast<int>(std::trunc(value));
}
} // namespace

int ListenerX(double viewX)
{
    return Truncate(viewX);
}

int ListenerY(double viewYUp, double viewHeight)
{
    return Truncate(viewHeight - viewYUp - 1.0);
}

unsigned EventTime(double seconds)
{
    const double ms = seconds * 1000.0;
    if (!(ms > 0.0))
        return 0;
    if (ms >= 4294967295.0)
        return 4294967295u;
    return static_cast<unsigned>(ms);
}

int ModifierFlags(bool shift, bool command, bool option)
{
    return (shift ? FLAG_SHIFT : 0) | (command ? FLAG_COMMAND : 0) | (option ? FLAG_OPTION : 0);
}

int WheelDelta(double scrollAmount)
{
    return Truncate(scrollAmount * 100.0);
}
} // namespace InputConventions
