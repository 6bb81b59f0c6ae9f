#ifndef EDITORPLACEHOLDER_H
#define EDITORPLACEHOLDER_H

#include <QMainWindow>

/// Stands in for the description editor window until the editor itself exists: the shared
/// window that "--editor" and the main window's "Edit XML" open.
class EditorPlaceholder : public QMainWindow
{
    Q_OBJECT

public:
    /// The one instance, created on first use (700 x 550).
    static EditorPlaceholder *instance();
    /// Destroys the shared instance, if any.
    static void destroyInstance();

private:
    explicit EditorPlaceholder(QWidget *parent = nullptr);
};

#endif // EDITORPLACEHOLDER_H
