#include "display/ExpressionThresholdControl.h"

#include "display/BrainSceneRenderer.h"
#include "display/Colormap.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "utility/TextParsing.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace
{
// Structures without annotation value are drawn in grey.
const unsigned char defaultColor[3] = {160, 160, 160};

const int kPlotSize = 150;
// Columns 0-3 of the plot hold the colour bar, column 4 stays empty, the dots
// use the columns from 5 on.
const int kBarWidth = 4;
const int kDotsLeft = 5;
// Distance of the plot's right edge from the view's right edge.
const int kRightMargin = 5;
// Half the size of the grab areas around the rectangle's corners and edges.
const int kGrab = 5;

// v truncated toward zero and clamped into lo..hi; NaN gives lo.
int TruncatedInRange(double v, int lo, int hi)
{
    const double t = std::trunc(v);
    if (!(t >= lo))
        return lo;
    if (t > hi)
        return hi;
    return static_cast<int>(t);
}

// v + 0.5 truncated: the nearest pixel of a non-negative coordinate.
int Rounded(double v)
{
    return TruncatedInRange(v + 0.5, -1000000, 1000000);
}

float Fraction(float value, float low, float high)
{
    return std::clamp((value - low) / (high - low), 0.0f, 1.0f);
}

// A threshold value as a label: the value truncated to an integer.
std::string IntegerText(float value)
{
    return std::to_string(TruncatedInRange(value, -1000000000, 1000000000));
}

// ">" followed by the axis end as a stream prints it.
std::string OpenEndText(float end)
{
    return ">" + FormatFloat(end, 6);
}

std::string LowText(float low)
{
    return low > 0.0f ? IntegerText(low) : "0";
}

std::string HighText(float high, float end)
{
    return high >= 0.0f && high < end ? IntegerText(high) : OpenEndText(end);
}

void LineStrip(int x0, int y0, int x1, int y1, int x2, int y2)
{
    GLBegin strip(GL_LINE_STRIP);
    glVertex2i(x0, y0);
    glVertex2i(x1, y1);
    glVertex2i(x2, y2);
}

void Triangle(int x0, int y0, int x1, int y1, int x2, int y2)
{
    GLBegin triangles(GL_TRIANGLES);
    glVertex2i(x0, y0);
    glVertex2i(x1, y1);
    glVertex2i(x2, y2);
}

// The colormap of the level axis: the jet colormap in the jet colour mode,
// else the expression colormap.
const Colormap* LevelColormap(const BrainExpressionModel* model)
{
    const Atlas* atlas = Atlas::GetAtlas();
    return model->GetGeneColorMode() == BrainExpressionModel::kJetColormap ? atlas->GetJetColormap()
                                                                          : atlas->GetExpressionColormap();
}

// A y-up area from its x and y ranges (all edges inclusive).
Nuvaro::Rectangle Area(int x0, int x1, int y0, int y1)
{
    return Nuvaro::Rectangle(x0, y0, x1, y1);
}
} // namespace

ExpressionThresholdControl::ExpressionThresholdControl(GLDisplay* display, BrainExpressionModel* model,
                                                       const GeneExpression* gene)
    : m_model(model),
      m_display(display),
      m_gene(gene),
      m_plottedColorMode(0),
      m_levelLabel(nullptr),
      m_countLabel(nullptr),
      m_levelLowLabel(nullptr),
      m_levelHighLabel(nullptr),
      m_countLowLabel(nullptr),
      m_countHighLabel(nullptr),
      m_plotWidth(kPlotSize),
      m_plotHeight(kPlotSize),
      m_anchor(NONE),
      m_grabX(0),
      m_grabY(0),
      m_dragging(false),
      m_minLevel(0.0f)
{
    m_levelLabel = m_display->CreateTextBox(150, 1, true, GLTextBox::CENTER);
    m_levelLabel->SetText("Level");
    m_countLabel = m_display->CreateTextBox(150, 1, true, GLTextBox::CENTER);
    m_countLabel->SetText("Net Arbor Length");
    m_levelLowLabel = m_display->CreateTextBox(50, 1, true, GLTextBox::RIGHT);
    m_levelHighLabel = m_display->CreateTextBox(50, 1, true, GLTextBox::RIGHT);
    m_countLowLabel = m_display->CreateTextBox(50, 1, true, GLTextBox::LEFT);
    m_countHighLabel = m_display->CreateTextBox(50, 1, true, GLTextBox::RIGHT);
    FindMinY();
}

ExpressionThresholdControl::ExpressionThresholdControl(BrainSceneRenderer* scene, const GeneExpression* gene)
    : ExpressionThresholdControl(scene->GetContext(), scene->GetModel(), gene)
{
}

ExpressionThresholdControl::~ExpressionThresholdControl()
{
    delete m_levelLabel;
    delete m_countLabel;
    delete m_levelLowLabel;
    delete m_levelHighLabel;
    delete m_countLowLabel;
    delete m_countHighLabel;
}

int ExpressionThresholdControl::ViewWidth()
{
    return m_display->GetWidth();
}

int ExpressionThresholdControl::ViewHeight()
{
    return m_display->GetHeight();
}

int ExpressionThresholdControl::CountLabelLineHeight()
{
    return m_countLabel->GetLineHeight();
}

int ExpressionThresholdControl::GetWidth()
{
    return m_plotWidth + m_levelLabel->GetLineHeight();
}

int ExpressionThresholdControl::GetHeight()
{
    return m_plotHeight + m_countLabel->GetLineHeight();
}

void ExpressionThresholdControl::FindMinY()
{
    m_minLevel = 5.0f * static_cast<float>(static_cast<int>(LevelColormap(m_model)->GetMinNonZeroIndex() / 5.0));
}

Nuvaro::Rectangle ExpressionThresholdControl::Bounds()
{
    const int w = ViewWidth();
    const int bottom = CountLabelLineHeight() + 8;
    return Area(w - kPlotSize, w - kRightMargin, bottom, bottom + kPlotSize);
}

void ExpressionThresholdControl::GetBounds(int& left, int& top, int& right, int& bottom)
{
    const Nuvaro::Rectangle area = Bounds();
    left = area.left;
    right = area.right;
    bottom = area.top; // the lower y
    top = area.bottom;
}

bool ExpressionThresholdControl::InBounds(int x, int y)
{
    return Bounds().Contains(x, y);
}

void ExpressionThresholdControl::GetROI(int& left, int& top, int& right, int& bottom)
{
    float levelLow, levelHigh, countLow, countHigh;
    m_model->GetExpressionScoreThreshold(levelLow, levelHigh);
    m_model->GetNumExpressorsThreshold(countLow, countHigh);
    if (levelLow <= 0.0f)
        levelLow = m_minLevel;
    if (levelHigh == -1.0f)
        levelHigh = MAX_Y;
    if (countLow <= 0.0f)
        countLow = MIN_X;
    if (countHigh == -1.0f)
        countHigh = MAX_X;

    const float levelLowFraction = Fraction(levelLow, m_minLevel, MAX_Y);
    const float levelHighFraction = Fraction(levelHigh, m_minLevel, MAX_Y);
    const float countLowFraction = Fraction(countLow, MIN_X, MAX_X);
    const float countHighFraction = Fraction(countHigh, MIN_X, MAX_X);

    const int ox = ViewWidth() - kPlotSize;
    const int oy = CountLabelLineHeight() + 8;
    const int scatterWidth = m_plotWidth - kDotsLeft;
    left = ox + Rounded(scatterWidth * countLowFraction);
    right = Rounded(ox + scatterWidth * countHighFraction);
    bottom = oy + Rounded(m_plotHeight * levelLowFraction);
    top = Rounded(oy + m_plotHeight * levelHighFraction);
}

void ExpressionThresholdControl::GeneratePlot()
{
    m_plot.Initialize(m_plotWidth, m_plotHeight, GL_BGRA);
    m_plot.Fill();
    FindMinY();
    if (m_plot.IsEmpty())
        return;

    const int lastColumn = m_plotWidth - kDotsLeft - 1;
    const float sx = (m_plotWidth - kDotsLeft) / (MAX_X - MIN_X);
    const float sy = m_plotHeight / (MAX_Y - m_minLevel);
    unsigned char* pixels = m_plot.GetBuffer();
    // Several dots on one pixel: each later one replaces the earlier with
    // probability one half. A generator of its own, seeded for every plot,
    // keeps plots reproducible and leaves the C library's sequence alone.
    std::mt19937 random(kPlotSeed);
    const unsigned long half = 0x80000000ul;

    if (m_gene != nullptr)
    {
        for (const BrainFeature& feature : m_gene->GetBrainFeatures())
        {
            if (feature.expressors.empty())
                continue;
            const unsigned char* rgb = defaultColor;
            unsigned char labelColor[3];
            if (feature.label != nullptr && feature.label->annotationValue != 0)
            {
                labelColor[0] = feature.label->red;
                labelColor[1] = feature.label->green;
                labelColor[2] = feature.label->blue;
                rgb = labelColor;
            }
            for (const Expressor* e : feature.expressors)
            {
                const float jitter = e->b < 0.5f ? 2.0f * e->b : 0.9f;
                const float x = e->count + jitter - MIN_X;
                const float y = e->score - m_minLevel;
                const int column = std::clamp(TruncatedInRange(0.5 + x * sx, -1000000, 1000000), 0, lastColumn);
                const int row = std::clamp(m_plotHeight - TruncatedInRange(0.5 + y * sy, -1000000, 1000000) - 1, 0,
                                           m_plotHeight - 1);
                unsigned char* pixel = pixels + 4 * (row * m_plotWidth + column + kDotsLeft);
                if (pixel[0] == 0 || random() >= half)
                {
                    pixel[0] = rgb[2];
                    pixel[1] = rgb[1];
                    pixel[2] = rgb[0];
                    pixel[3] = 255;
                }
            }
        }
    }

    const unsigned char* map = LevelColormap(m_model)->GetMap();
    for (int i = 0; i < m_plotHeight; ++i)
    {
        const int level = TruncatedInRange(m_minLevel + (m_plotHeight - i - 1) * (MAX_Y - m_minLevel) / m_plotHeight,
                                           0, 255);
        for (int c = 0; c < kBarWidth; ++c)
        {
            unsigned char* pixel = pixels + 4 * (i * m_plotWidth + c);
            pixel[0] = map[3 * level + 2];
            pixel[1] = map[3 * level + 1];
            pixel[2] = map[3 * level];
            pixel[3] = 255;
        }
    }
}

void ExpressionThresholdControl::UpdateLabels()
{
    float levelLow, levelHigh, countLow, countHigh;
    m_model->GetExpressionScoreThreshold(levelLow, levelHigh);
    m_model->GetNumExpressorsThreshold(countLow, countHigh);
    m_levelLowLabel->SetText(LowText(levelLow));
    m_levelHighLabel->SetText(HighText(levelHigh, MAX_Y));
    m_countLowLabel->SetText(LowText(countLow));
    m_countHighLabel->SetText(HighText(countHigh, MAX_X));
}

void ExpressionThresholdControl::Display()
{
    const int mode = static_cast<int>(m_model->GetGeneColorMode());
    if (mode != m_plottedColorMode || m_plot.IsEmpty())
    {
        GeneratePlot();
        m_plot.LoadTexture();
        m_plottedColorMode = mode;
    }

    const int w = ViewWidth();
    const int nh = CountLabelLineHeight();
    const int plotLeft = w - kPlotSize - kRightMargin;
    const int plotBottom = nh + 8;
    int left, top, right, bottom;
    GetROI(left, top, right, bottom);

    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_MODELVIEW);

    // The translucent region of interest, on pixel centres.
    glPushMatrix();
    glTranslatef(0.375f, 0.375f, 0.0f);
    glColor4f(0.2f, 0.2f, 0.2f, 0.25f);
    GLFillRect(left, bottom, right, top);
    glPopMatrix();

    m_plot.Draw(plotLeft, plotBottom);
    m_countLabel->Draw(plotLeft, 3);

    UpdateLabels();
    const int levelLabelX = plotLeft - m_levelLowLabel->GetWidth() - 7;
    m_levelLowLabel->Draw(levelLabelX, plotBottom);
    m_levelHighLabel->Draw(levelLabelX, plotBottom - m_levelHighLabel->GetHeight() + kPlotSize);
    m_countLowLabel->Draw(w - 151, 3);
    m_countHighLabel->Draw(w - m_countHighLabel->GetWidth() - kRightMargin, 3);

    glPushMatrix();
    glTranslatef(0.375f, 0.375f, 0.0f);
    DrawLeaderLines(left, top, right, bottom);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    {
        GLBegin outline(GL_LINE_LOOP);
        glVertex2i(left, bottom);
        glVertex2i(right, bottom);
        glVertex2i(right, top);
        glVertex2i(left, top);
    }
    glPopMatrix();

    glPushMatrix();
    glTranslatef(static_cast<float>(w - 162), static_cast<float>(plotBottom), 0.0f);
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    m_levelLabel->Draw(0, 0);
    glPopMatrix();

    glPopAttrib();
}

void ExpressionThresholdControl::DrawLeaderLines(int left, int top, int right, int bottom)
{
    const int w = ViewWidth();
    const int plotBottom = CountLabelLineHeight() + 8;

    // From the level labels to the rectangle's bottom and top, with yellow
    // markers pointing right at them.
    const int yl = plotBottom + m_levelLowLabel->GetHeight() / 2 - 1;
    const int yh = plotBottom - m_levelHighLabel->GetHeight() / 2 + 149;
    glColor4f(0.2f, 0.2f, 0.2f, 1.0f);
    LineStrip(w - 161, yl, w - 156, yl, w - 156, bottom);
    LineStrip(w - 161, yh, w - 156, yh, w - 156, top);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    for (int v : {bottom, top})
        Triangle(w - 156, v, w - 161, v - 5, w - 161, v + 5);

    // From the count labels to the rectangle's left and right, with yellow
    // markers pointing up at them.
    const int xl = w - 155 + m_countLowLabel->GetTextWidth() / 2 + 4;
    const int xr = w - m_countHighLabel->GetTextWidth() / 2 - 5;
    const int yc = m_countLowLabel->GetHeight() + 7;
    glColor4f(0.2f, 0.2f, 0.2f, 1.0f);
    LineStrip(xl, yc - 6, xl, yc, left, yc);
    LineStrip(xr, yc - 6, xr, yc, right, yc);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    for (int v : {left, right})
        Triangle(v, yc, v - 5, yc - 5, v + 5, yc - 5);
}

ExpressionThresholdControl::Anchor ExpressionThresholdControl::FindAnchor(int x, int y, bool registerRects)
{
    int l, t, r, b;
    GetROI(l, t, r, b);
    struct Part
    {
        Nuvaro::Rectangle area;
        Anchor anchor;
        bool edge;
    };
    // In the order of the hit test: corners, edges, inside.
    Part parts[9] = {
        {Area(l - kGrab, l + kGrab, t - kGrab, t + kGrab), TOP_LEFT, false},
        {Area(r - kGrab, r + kGrab, t - kGrab, t + kGrab), TOP_RIGHT, false},
        {Area(r - kGrab, r + kGrab, b - kGrab, b + kGrab), BOTTOM_RIGHT, false},
        {Area(l - kGrab, l + kGrab, b - kGrab, b + kGrab), BOTTOM_LEFT, false},
        {Area(l + kGrab, r - kGrab, t - kGrab, t + kGrab), TOP, true},
        {Area(r - kGrab, r + kGrab, b + kGrab, t - kGrab), RIGHT, true},
        {Area(l + kGrab, r - kGrab, b - kGrab, b + kGrab), BOTTOM, true},
        {Area(l - kGrab, l + kGrab, b + kGrab, t - kGrab), LEFT, true},
        {Area(l + kGrab, r - kGrab, b + kGrab, t - kGrab), MOVE, false},
    };

    if (!registerRects)
    {
        for (const Part& part : parts)
        {
            if (part.area.Contains(x, y))
            {
                if (part.anchor == MOVE)
                {
                    m_grabX = x - l;
                    m_grabY = y - b;
                }
                return part.anchor;
            }
        }
        return NONE;
    }

    // Registered in the order corners, then edges top, bottom, left, right,
    // then inside; edges shrunk so they leave the corners alone. A rectangle
    // too small to have an inside or edges registers no empty areas.
    static const int registerOrder[9] = {0, 1, 2, 3, 4, 6, 7, 5, 8};
    for (int index : registerOrder)
    {
        Nuvaro::Rectangle area = parts[index].area;
        if (parts[index].edge)
            area.Shrink(1);
        if (area.GetWidth() <= 0 || area.GetHeight() <= 0)
            continue;
        m_display->AddCursorRect(area.left, area.top, area.GetWidth(), area.GetHeight(),
                                 GetCursor(parts[index].anchor));
    }
    return NONE;
}

Cursors::Cursor ExpressionThresholdControl::GetCursor(Anchor anchor)
{
    switch (anchor)
    {
    case TOP_LEFT:
    case BOTTOM_RIGHT:
        return Cursors::RESIZE_NW;
    case TOP_RIGHT:
    case BOTTOM_LEFT:
        return Cursors::RESIZE_NE;
    case TOP:
    case BOTTOM:
        return Cursors::RESIZE_UP_DOWN;
    case LEFT:
    case RIGHT:
        return Cursors::RESIZE_LEFT_RIGHT;
    case MOVE:
        return Cursors::MOVE;
    case NONE:
    default:
        return Cursors::ARROW;
    }
}

void ExpressionThresholdControl::SetCursor(Anchor anchor)
{
    Cursors::SetCursor(GetCursor(anchor));
}

void ExpressionThresholdControl::AdjustBounds(int x, int y)
{
    if (m_anchor == NONE)
        return;
    const Nuvaro::Rectangle area = Bounds();
    const int areaLeft = area.left;
    const int areaRight = area.right;
    const int areaBottom = area.top;
    const int areaTop = area.bottom;
    x = std::clamp(x, areaLeft, areaRight);
    y = std::clamp(y, areaBottom, areaTop);

    int left, top, right, bottom;
    GetROI(left, top, right, bottom);
    const int oldLeft = left, oldTop = top, oldRight = right, oldBottom = bottom;
    const bool movesLeft = m_anchor == TOP_LEFT || m_anchor == BOTTOM_LEFT || m_anchor == LEFT;
    const bool movesRight = m_anchor == TOP_RIGHT || m_anchor == BOTTOM_RIGHT || m_anchor == RIGHT;
    const bool movesBottom = m_anchor == BOTTOM_LEFT || m_anchor == BOTTOM_RIGHT || m_anchor == BOTTOM;
    const bool movesTop = m_anchor == TOP_LEFT || m_anchor == TOP_RIGHT || m_anchor == TOP;

    if (m_anchor == MOVE)
    {
        const int width = right - left;
        const int height = top - bottom;
        left = x - m_grabX;
        bottom = y - m_grabY;
        // Pushed back inside, keeping the size.
        left = std::max(std::min(left, areaRight - width), areaLeft);
        bottom = std::max(std::min(bottom, areaTop - height), areaBottom);
        right = left + width;
        top = bottom + height;
    }
    // No dragged edge passes the opposite one.
    if (movesLeft)
        left = std::min(x, right - 1);
    if (movesRight)
        right = std::max(x, left + 1);
    if (movesBottom)
        bottom = std::min(y, top - 1);
    if (movesTop)
        top = std::max(y, bottom + 1);
    left = std::max(left, areaLeft);
    bottom = std::max(bottom, areaBottom);
    right = std::min(right, areaRight);
    top = std::min(top, areaTop);

    const float scatterWidth = static_cast<float>(m_plotWidth - kDotsLeft);
    const float countLowFraction = (left - areaLeft) / scatterWidth;
    const float countHighFraction = (right - areaLeft) / scatterWidth;
    const float levelLowFraction = (bottom - areaBottom) / static_cast<float>(m_plotHeight);
    const float levelHighFraction = (top - areaBottom) / static_cast<float>(m_plotHeight);

    // An edge that stays where it was keeps its exact value: the pixel grid
    // must not shift a threshold the user did not touch (count 5 read back
    // from its pixel would be 5.07 and hide the voxels with count 5).
    float levelLow, levelHigh, countLow, countHigh;
    m_model->GetExpressionScoreThreshold(levelLow, levelHigh);
    m_model->GetNumExpressorsThreshold(countLow, countHigh);
    if (bottom != oldBottom)
        levelLow = levelLowFraction <= 0.0f ? 0.0f : m_minLevel + (MAX_Y - m_minLevel) * levelLowFraction;
    if (top != oldTop)
        levelHigh = levelHighFraction >= 1.0f ? -1.0f : m_minLevel + (MAX_Y - m_minLevel) * levelHighFraction;
    if (left != oldLeft)
        countLow = countLowFraction <= 0.0f ? 0.0f : MIN_X + (MAX_X - MIN_X) * countLowFraction;
    if (right != oldRight)
        countHigh = countHighFraction >= 1.0f ? -1.0f : MIN_X + (MAX_X - MIN_X) * countHighFraction;

    m_model->SetExpressionScoreThreshold(levelLow, levelHigh, true);
    m_model->SetNumExpressorsThreshold(countLow, countHigh, true);
}

bool ExpressionThresholdControl::OnButtonDown(int /*button*/, int x, int y, int /*flags*/, unsigned /*time*/)
{
    const int yUp = ViewHeight() - y - 1;
    if (!InBounds(x, yUp))
    {
        SetCursor(NONE);
        return false;
    }
    m_anchor = FindAnchor(x, yUp, false);
    SetCursor(m_anchor);
    m_dragging = true;
    m_model->SetLiveUpdate(true);
    m_display->InvalidateCursorRects();
    return true;
}

bool ExpressionThresholdControl::OnMouseMove(int x, int y, int /*flags*/, unsigned /*time*/)
{
    const int yUp = ViewHeight() - y - 1;
    if (m_dragging)
        AdjustBounds(x, yUp);
    else if (InBounds(x, yUp))
        SetCursor(FindAnchor(x, yUp, false));
    else
        SetCursor(NONE);
    return true;
}

bool ExpressionThresholdControl::OnButtonUp(int /*button*/, int x, int y, int /*flags*/, unsigned /*time*/)
{
    const int yUp = ViewHeight() - y - 1;
    // Only a drag this control started moves the rectangle: a stray release
    // must not replay the anchor of an earlier drag.
    if (m_dragging)
        AdjustBounds(x, yUp);
    m_dragging = false;
    m_model->SetLiveUpdate(false);
    SetCursor(FindAnchor(x, yUp, false));
    m_display->InvalidateCursorRects();
    return true;
}

void ExpressionThresholdControl::ResetCursorRects()
{
    if (m_dragging)
        m_display->AddCursorRect(0, 0, ViewWidth(), ViewHeight(), GetCursor(m_anchor));
    else
        FindAnchor(0, 0, true);
}
