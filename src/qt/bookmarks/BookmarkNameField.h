#ifndef NUVARO_QT_BOOKMARKS_BOOKMARKNAMEFIELD_H
#define NUVARO_QT_BOOKMARKS_BOOKMARKNAMEFIELD_H

class QLineEdit;

// Makes the field take names of at most BookmarkNode::kMaxNameLength
// characters: what is typed or pasted beyond them is dropped from its end, as
// a field's maximum length does, and a character of two UTF-16 units is never
// split.
void LimitToBookmarkNames(QLineEdit* field);

#endif
