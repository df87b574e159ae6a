#ifndef NUVARO_QT_SHELL_ANATOMICSEARCHTARGET_H
#define NUVARO_QT_SHELL_ANATOMICSEARCHTARGET_H

#include <string>

// Where an anatomic search goes: the document, which starts a gene search
// for the query in a list tab named by the display string.
class AnatomicSearchTarget
{
public:
    virtual ~AnatomicSearchTarget() = default;
    virtual void startAnatomicSearch(const std::string& query, const std::string& displayString) = 0;
};

#endif
