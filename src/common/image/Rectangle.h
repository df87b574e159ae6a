#ifndef NUVARO_IMAGE_RECTANGLE_H
#define NUVARO_IMAGE_RECTANGLE_H

namespace Nuvaro
{
// An integer rectangle by its pixel edges. Containment includes every edge.
class Rectangle
{
public:
    Rectangle() : left(0), top(0), right(0), bottom(0) {}
    Rectangle(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    int GetWidth() const { return right - left; }
    int GetHeight() const { return bottom - top; }
    bool Contains(int x, int y) const { return left <= x && x <= right && top <= y && y <= bottom; }
    void Shrink(int n)
    {
        left += n;
        top += n;
        right -= n;
        bottom -= n;
    }

    int left;
    int top;
    int right;
    int bottom;
};
} // namespace Nuvaro

#endif
