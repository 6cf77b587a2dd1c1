#pragma once

// How the pages reach the desktop: open a document or a web page with the application registered for it,
// show a modal message box, and ask for a file to save to or to read. The window holds one, the real desktop,
// and hands it to its pages; tests replace its functions to see what would be opened and which box would be
// shown, without blocking.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

namespace DADOV {

struct DesktopShell {
    // Opens the file or web address with the desktop's registered application; false when it could not.
    std::function<bool(const QUrl&)> open;
    // Shows the box modally and returns once the user has closed it.
    std::function<void(QMessageBox&)> show;
    // Asks for the name of a file to write, offering `path`; an empty text when the user cancels.
    std::function<QString(QWidget* parent, const QString& caption, const QString& path,
                          const QString& filter)>
        chooseSaveFile;
    // Asks for the name of an existing file to read, starting in `folder`; an empty text when the user
    // cancels.
    std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                          const QString& filter)>
        chooseOpenFile;
    // The folder of the executable, without a trailing separator.
    QString applicationFolder;
    // The user's documents folder.
    QString documentsFolder;

    // The real desktop: QDesktopServices, QMessageBox::exec, QFileDialog, the folders of this run.
    static std::shared_ptr<DesktopShell> system();
};

// The folder a file dialog offers first: the user's documents folder, or home when there is none.
QString first_folder(const DesktopShell& shell);

// A warning box over the window, shown through the desktop shell.
void show_warning(QWidget& window, const DesktopShell& shell, const QString& title, const QString& text);

// The product documents, by file name.
inline const QString document_pc_app = QStringLiteral("q5 Controller PC App.pdf");
inline const QString document_installation = QStringLiteral("q5 D Installation_Current.pdf");
inline const QString document_pinouts = QStringLiteral("q5 D(2.0) Universal Harness Pinouts.pdf");

// Where a product document is looked for, in order: beside the executable, then in the installed share
// folder (<executable folder>/../share/q5tool/documents).
QStringList document_places(const DesktopShell& shell, const QString& name);

// Opens the first of the paths that is a readable file. False when none is, or when the desktop could
// not open it.
bool open_document(const DesktopShell& shell, const QStringList& paths);

} // namespace DADOV
