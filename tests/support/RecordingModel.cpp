#include "support/RecordingModel.h"

#include "utility/TextParsing.h"

namespace testsupport
{
void RecordingModelListener::ModelChanged(int code, BrainExpressionModel* model, int argument)
{
    changes.emplace_back(code, argument);
    if (expectedModel != nullptr && model != expectedModel)
        ++wrongModelCount;
    if (onChange)
        onChange(code, argument);
}

std::vector<int> RecordingModelListener::Codes() const
{
    std::vector<int> codes;
    for (const auto& change : changes)
        codes.push_back(change.first);
    return codes;
}

std::string FloatText(float value)
{
    return FormatFloat(value, 6);
}

void RecordingModel::Log(const std::string& text, bool notify)
{
    calls.push_back(notify ? text + " notify" : text);
}

void RecordingModel::SetExpressionSelector(ImageGrid::AnnotationSelector selector, bool notify)
{
    Log("SetExpressionSelector", notify);
    BrainExpressionModel::SetExpressionSelector(selector, notify);
}

void RecordingModel::SetStructureSelector(ImageGrid::AnnotationSelector selector, bool notify)
{
    Log("SetStructureSelector", notify);
    BrainExpressionModel::SetStructureSelector(selector, notify);
}

void RecordingModel::SetRotation(const float* quaternion, bool notify)
{
    Log("SetRotation " + FloatText(quaternion[0]) + " " + FloatText(quaternion[1]) + " " + FloatText(quaternion[2]) +
            " " + FloatText(quaternion[3]),
        notify);
    BrainExpressionModel::SetRotation(quaternion, notify);
}

void RecordingModel::SetOrigin(const float* origin, bool notify)
{
    Log("SetOrigin " + FloatText(origin[0]) + " " + FloatText(origin[1]) + " " + FloatText(origin[2]), notify);
    BrainExpressionModel::SetOrigin(origin, notify);
}

void RecordingModel::SetZoom(float zoom, bool notify)
{
    Log("SetZoom " + FloatText(zoom), notify);
    BrainExpressionModel::SetZoom(zoom, notify);
}

void RecordingModel::SetMPRPlaneVisible(Image3d::MPRPlane plane, bool visible, bool notify)
{
    Log("SetMPRPlaneVisible " + std::to_string(plane) + (visible ? " shown" : " hidden"), notify);
    BrainExpressionModel::SetMPRPlaneVisible(plane, visible, notify);
}

void RecordingModel::SetMPRSliceLocation(Image3d::MPRPlane plane, float location, bool notify)
{
    Log("SetMPRSliceLocation " + std::to_string(plane) + " " + FloatText(location), notify);
    BrainExpressionModel::SetMPRSliceLocation(plane, location, notify);
}

void RecordingModel::SetCuttingPlaneLocation(Image3d::MPRPlane plane, float location, bool lower, bool notify)
{
    Log("SetCuttingPlaneLocation " + std::to_string(plane) + (lower ? " lower " : " upper ") + FloatText(location),
        notify);
    BrainExpressionModel::SetCuttingPlaneLocation(plane, location, lower, notify);
}

void RecordingModel::SetExpressionScoreThreshold(float lower, float upper, bool notify)
{
    Log("SetExpressionScoreThreshold " + FloatText(lower) + " " + FloatText(upper), notify);
    BrainExpressionModel::SetExpressionScoreThreshold(lower, upper, notify);
}

void RecordingModel::SetNumExpressorsThreshold(float lower, float upper, bool notify)
{
    Log("SetNumExpressorsThreshold " + FloatText(lower) + " " + FloatText(upper), notify);
    BrainExpressionModel::SetNumExpressorsThreshold(lower, upper, notify);
}
} // namespace testsupport
