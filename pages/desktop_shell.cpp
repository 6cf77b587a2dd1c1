#include "pages/desktop_shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace DADOV {

std::shared_ptr<DesktopShell> DesktopShell::system() {
    auto shell = std::make_shared<DesktopShell>();
    shell->open = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    shell->show = [](QMessageBox& box) { box.exec(); };
    shell->chooseSaveFile = [](QWidget* parent, const QString& caption, const QString& path,
                               const QString& filter) {
        return QFileDialog::getSaveFileName(parent, caption, path, filter);
    };
    shell->chooseOpenFile = [](QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter);
    };
    shell->applicationFolder = QCoreApplication::applicationDirPath();
    shell->documentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return shell;
}

void show_warning(QWidget& window, const DesktopShell& shell, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, &window);
    if (shell.show)
        shell.show(box);
}

QString first_folder(const DesktopShell& shell) {
    return QFileInfo(shell.documentsFolder).isDir() ? shell.documentsFolder : QDir::homePath();
}

QStringList document_places(const DesktopShell& shell, const QString& name) {
    return {shell.applicationFolder + QLatin1Char('/') + name,
            QDir::cleanPath(shell.applicationFolder + QStringLiteral("/../share/q5tool/documents/") + name)};
}

bool open_document(const DesktopShell& shell, const QStringList& paths) {
    for (const QString& path : paths) {
        const QFileInfo file(path);
        // A viewer started on a missing file would report its failure to nobody: look first.
        if (!file.isFile() || !file.isReadable())
            continue;
        return shell.open && shell.open(QUrl::fromLocalFile(file.absoluteFilePath()));
    }
    return false;
}

} // namespace DADOV
