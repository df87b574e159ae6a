#ifndef NUVARO_TESTS_SUPPORT_RECORDINGMODEL_H
#define NUVARO_TESTS_SUPPORT_RECORDINGMODEL_H

#include "model/BrainExpressionModel.h"
#include "model/BrainExpressionModelListener.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport
{
// Records every change a model reports, as (code, argument) pairs, and checks
// that the model passes itself. An optional hook runs after each record.
class RecordingModelListener : public BrainExpressionModelListener
{
public:
    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;

    // The codes alone, in order.
    std::vector<int> Codes() const;
    void Clear() { changes.clear(); }

    std::vector<std::pair<int, int>> changes;
    // When set, calls that pass another model are counted in wrongModelCount.
    BrainExpressionModel* expectedModel = nullptr;
    int wrongModelCount = 0;
    std::function<void(int code, int argument)> onChange;
};

// A real model that logs the setters a caller uses (bookmarks, transitions)
// as text, e.g. "SetZoom 60 notify" or "SetCuttingPlaneLocation 0 lower 60
// notify", then lets the model do its work.
class RecordingModel : public BrainExpressionModel
{
public:
    void SetExpressionSelector(ImageGrid::AnnotationSelector selector, bool notify) override;
    void SetStructureSelector(ImageGrid::AnnotationSelector selector, bool notify) override;
    void SetRotation(const float* quaternion, bool notify) override;
    void SetOrigin(const float* origin, bool notify) override;
    void SetZoom(float zoom, bool notify) override;
    void SetMPRPlaneVisible(Image3d::MPRPlane plane, bool visible, bool notify) override;
    void SetMPRSliceLocation(Image3d::MPRPlane plane, float location, bool notify) override;
    void SetCuttingPlaneLocation(Image3d::MPRPlane plane, float location, bool lower, bool notify) override;
    void SetCuttingPlanesVisible(bool visible, bool notify) override;
    void SetExpressionScoreThreshold(float lower, float upper, bool notify) override;
    void SetNumExpressorsThreshold(float lower, float upper, bool notify) override;
    void ShowInnerStructures() override;
    void ShowSearchableStructures() override;
    void ResetView() override;
    void Reset() override;

    std::vector<std::string> calls;

private:
    void Log(const std::string& text, bool notify);
};

// A float as a default-formatted C++ stream writes it.
std::string FloatText(float value);
} // namespace testsupport

#endif
