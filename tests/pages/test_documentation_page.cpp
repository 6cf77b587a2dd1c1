// The Documentation page: its links open the product documents and the reader's download page through the
// desktop shell; a document that cannot be opened shows the "File not founde" box.

#include "pages/page_fixture.h"
#include "widgets/link_label.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace DADOV;

namespace {

const char* const documents[] = {"q5 Controller PC App.pdf", "q5 D Installation_Current.pdf",
                                 "q5 D(2.0) Universal Harness Pinouts.pdf"};

class DocumentationPage : public pagetest::PageTest {
protected:
    DocumentationPage() {
        shell->applicationFolder = program.path();
        shell->documentsFolder = program.path();
        select_page(4);
    }

    void place(const QString& folder, const char* name) {
        QFile file(QDir(folder).filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4\n");
    }
    void click(const char* link) { QTest::mouseClick(widget<LinkLabel>(link), Qt::LeftButton); }
    QUrl beside_program(const char* name) {
        return QUrl::fromLocalFile(QDir(program.path()).filePath(QString::fromUtf8(name)));
    }

    QTemporaryDir program;
};

TEST_F(DocumentationPage, EachDocumentLinkOpensItsFileBesideTheProgramOrShowsTheFileNotFoundeBox) {
    place(program.path(), documents[0]);
    place(program.path(), documents[2]);

    click("linkLabel2"); // its document is missing
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(boxes[0].text, "File not founde");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_FALSE(boxes[0].owned);
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(widget<LinkLabel>("linkLabel2")->LinkVisited());

    click("linkLabel1");
    click("linkLabel3");
    place(program.path(), documents[1]);
    click("linkLabel2"); // the link can be clicked again
    EXPECT_EQ(opened, (std::vector<QUrl>{beside_program(documents[0]), beside_program(documents[2]),
                                         beside_program(documents[1])}));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(widget<LinkLabel>("linkLabel1")->LinkVisited());

    // A document that is there but has no viewer.
    open_succeeds = false;
    click("linkLabel1");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "File not founde");
}

TEST_F(DocumentationPage, DocumentsAreFoundInTheInstalledShareFolder) {
    ASSERT_TRUE(QDir(program.path()).mkpath("bin"));
    ASSERT_TRUE(QDir(program.path()).mkpath("share/q5tool/documents"));
    shell->applicationFolder = program.filePath("bin");
    place(program.filePath("share/q5tool/documents"), documents[1]);
    place(program.filePath("bin"), documents[2]);
    click("linkLabel2");
    click("linkLabel3");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(program.filePath("share/q5tool/documents/") + documents[1]));
    EXPECT_EQ(opened[1], QUrl::fromLocalFile(program.filePath("bin/") + documents[2]));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DocumentationPage, ReaderLinkOpensTheDownloadPageEachTimeAndStaysVisited) {
    auto* link = widget<LinkLabel>("linkLabel4");
    EXPECT_FALSE(link->LinkVisited());
    click("linkLabel4");
    click("linkLabel4");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], opened[1]);
    EXPECT_EQ(opened[0].scheme(), "https");
    EXPECT_TRUE(link->LinkVisited());
    EXPECT_TRUE(boxes.empty());

    open_succeeds = false;
    click("linkLabel4");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_TRUE(boxes[0].text.contains(opened[0].toString()));
}

} // namespace
