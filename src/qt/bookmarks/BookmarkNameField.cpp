#include "bookmarks/BookmarkNameField.h"

#include "bookmarks/BookmarkNode.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace
{
const qsizetype kMaxCharacters = static_cast<qsizetype>(BookmarkNode::kMaxNameLength);

// The position of the character before the one at i (a surrogate pair is one
// character).
qsizetype CharacterBefore(const QString& text, qsizetype i)
{
    return i >= 2 && text.at(i - 1).isLowSurrogate() && text.at(i - 2).isHighSurrogate() ? i - 2 : i - 1;
}

qsizetype Characters(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = text.size(); i > 0; i = CharacterBefore(text, i))
        ++count;
    return count;
}

// Cuts a name that became too long. What was typed or pasted ends at the
// cursor, so the characters right before it go; if the name was too long
// before the edit, its end goes as well.
class NameLengthValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override
    {
        qsizetype excess = Characters(input) - kMaxCharacters;
        if (excess <= 0)
            return Acceptable;
        qsizetype from = std::clamp<qsizetype>(pos, 0, input.size());
        const qsizetype to = from;
        for (; excess > 0 && from > 0; --excess)
            from = CharacterBefore(input, from);
        input.remove(from, to - from);
        pos = static_cast<int>(from);
        qsizetype end = input.size();
        for (; excess > 0; --excess)
            end = CharacterBefore(input, end);
        input.truncate(end);
        pos = std::min(pos, static_cast<int>(end));
        return Acceptable;
    }
};
} // namespace

void LimitToBookmarkNames(QLineEdit* field)
{
    // Two UTF-16 units at most for each character: a pasted text far beyond
    // the bound is cut before it is looked at.
    field->setMaxLength(static_cast<int>(2 * kMaxCharacters));
    field->setValidator(new NameLengthValidator(field));
}
