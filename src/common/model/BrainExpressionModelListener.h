#ifndef NUVARO_MODEL_BRAINEXPRESSIONMODELLISTENER_H
#define NUVARO_MODEL_BRAINEXPRESSIONMODELLISTENER_H

class BrainExpressionModel;

// Told about every change of a document model that a view must follow. The
// codes and their arguments are BrainExpressionModel::ChangeCode.
class BrainExpressionModelListener
{
public:
    virtual ~BrainExpressionModelListener() = default;
    virtual void ModelChanged(int code, BrainExpressionModel* model, int argument) = 0;
};

#endif
