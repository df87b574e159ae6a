#ifndef NUVARO_QT_SHELL_DIALOGACTIONS_H
#define NUVARO_QT_SHELL_DIALOGACTIONS_H

class QMenu;
class QToolBar;

// The application's dialog commands in a document window: Edit >
// Preferences… (the preferences menu role) at the end of the Edit menu,
// and Anatomic Search… at the top of the Gene menu and on the toolbar. Each
// shows its process-wide window; both are always enabled. Null menus or
// toolbar are skipped.
void AddDialogActions(QMenu* editMenu, QMenu* geneMenu, QToolBar* toolbar);

#endif
