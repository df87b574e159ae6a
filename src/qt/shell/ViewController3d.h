#ifndef NUVARO_QT_SHELL_VIEWCONTROLLER3D_H
#define NUVARO_QT_SHELL_VIEWCONTROLLER3D_H

#include <QWidget>

class BrainExpressionModel;
class QSlider;

namespace shell
{
// The view settings panel: a zoom slider (15-250) and an image blend slider
// (0-100) in step with the document model both ways. User moves write the
// model (with a flag set, so that the model's own change notification does
// not move the slider being dragged); the document's zoom and image alpha
// notifications set the sliders, signals blocked, so that a code-driven
// update never writes back (a zoom of 40.7 shows 40 and leaves 40.7).
class ViewController3d : public QWidget
{
    Q_OBJECT
public:
    explicit ViewController3d(QWidget* parent = nullptr);

    // Keeps the model (not owned; null for none), clears both flags and sets
    // the blend slider from it.
    void setDocument(BrainExpressionModel* model);
    void setZoomEnabled(bool enabled);
    QSlider* zoomSlider() const { return m_zoom; }
    QSlider* imageBlendSlider() const { return m_blend; }

public slots:
    // The document's "ZoomChanged" and "ImageAlphaChanged".
    void notifyZoomChanged();
    void notifyImageAlphaChanged();

private:
    void changeZoom(int value);
    void changeImageBlending(int value);

    QSlider* m_zoom;
    QSlider* m_blend;
    BrainExpressionModel* m_model = nullptr;
    bool m_zoomUpdating = false;
    bool m_imageAlphaUpdating = false;
};
} // namespace shell

#endif
