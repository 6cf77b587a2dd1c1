// The tool's manual as the Linux package installs it: q5tool in <prefix>/usr/bin, the manual in
// <prefix>/usr/share/q5tool/documents. The Documentation page's "q5 PC App" link opens it there; the zIdudo
// page's Help opens the copy in the user's documents folder when there is one, and the installed one
// otherwise.

#include "pages/page_fixture.h"
#include "widgets/link_label.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace DADOV;

namespace {

class InstalledManual : public pagetest::PageTest {
protected:
    InstalledManual() {
        EXPECT_TRUE(QDir(staging.path()).mkpath("usr/bin"));
        EXPECT_TRUE(QDir(staging.path()).mkpath("usr/share/q5tool/documents"));
        shell->applicationFolder = staging.filePath("usr/bin");
        shell->documentsFolder = documents.path();
        installed = place(staging.filePath("usr/share/q5tool/documents"));
    }

    QUrl place(const QString& folder) {
        const QString path = QDir(folder).filePath("q5 Controller PC App.pdf");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4\n");
        return QUrl::fromLocalFile(path);
    }

    QTemporaryDir staging;
    QTemporaryDir documents;
    QUrl installed;
};

TEST_F(InstalledManual, TheDocumentationPageOpensTheInstalledManual) {
    select_page(4);
    QTest::mouseClick(widget<LinkLabel>("linkLabel1"), Qt::LeftButton); // "q5 PC App"
    EXPECT_EQ(opened, std::vector<QUrl>{installed});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(InstalledManual, HelpOpensTheUsersCopyFirstAndTheInstalledManualOtherwise) {
    select_page(2);
    widget<QAbstractButton>("button30")->click(); // "Help"
    const QUrl users = place(documents.path());
    widget<QAbstractButton>("button30")->click();
    EXPECT_EQ(opened, (std::vector<QUrl>{installed, users}));
    EXPECT_EQ(box("textBox1"), QString());
}

} // namespace
