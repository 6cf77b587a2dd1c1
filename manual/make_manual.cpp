// make_manual: the tool's manual as a PDF, from its Markdown text and the pictures of manual_pictures.
//
//   make_manual MARKDOWN PICTURES OUTPUT
//
// QTextDocument reads the text (GitHub Markdown: "#" chapters, "##" sections, lists, tables, code blocks,
// pictures as "![alt](pictures/NAME.png)" in a paragraph of their own, with an italic caption line after)
// and lays it out on A4 pages; QPdfWriter writes them. A title page with the tool's version and the
// chapters' pages comes first; each chapter starts on a new page; a heading, or a picture with a caption,
// never ends a page; pictures are made no wider than the text; the footer has the page number. A picture
// the text names that is not in PICTURES, or a text with nothing in it, ends the program with a message
// and status 1, leaving OUTPUT as it was.

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

const QString title = QStringLiteral("q5 Controller PC App");

// The page in the writer's device pixels: A4 at 300 dpi, the text within the margins, the footer below it.
constexpr int dpi = 300;
constexpr qreal mm = dpi / 25.4;
const QSizeF page_size(std::round(210 * mm), std::round(297 * mm));
const QMarginsF margins(20 * mm, 20 * mm, 20 * mm, 25 * mm);
const qreal text_width = page_size.width() - margins.left() - margins.right();
// The lengths of a document's formats (margins, padding, picture sizes) are in pixels of a 96 dpi screen,
// enlarged to the writer's resolution; its layout is in the writer's pixels.
constexpr qreal format_scale = dpi / 96.0;
constexpr qreal format_mm = mm / format_scale;

const QColor heading_colour(0x1f, 0x3a, 0x5f);
const QColor muted_colour(0x55, 0x55, 0x55);
const QColor code_background(0xf0, 0xf0, 0xf0);
const qreal code_padding = 2 * mm;

QFont text_font(qreal points) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

QString read_text(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    const QString text = QString::fromUtf8(file.readAll());
    if (text.trimmed().isEmpty())
        throw std::runtime_error(path.toStdString() + " is empty");
    return text;
}

// Every picture the text names, from the picture folder by its file name, as the document's resource
// under the name the text gives it.
void add_pictures(QTextDocument& document, const QString& markdown, const QString& folder) {
    static const QRegularExpression picture(QStringLiteral(R"(!\[[^\]]*\]\(\s*<?([^)\s>]+)>?[^)]*\))"));
    QStringList missing;
    for (const QRegularExpressionMatch& match : picture.globalMatch(markdown)) {
        const QString name = match.captured(1);
        const QString path = folder + QLatin1Char('/') + QFileInfo(name).fileName();
        const QImage image(path);
        if (image.isNull())
            missing << path;
        else
            document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    }
    if (!missing.isEmpty())
        throw std::runtime_error("pictures missing or unreadable: " +
                                 missing.join(QStringLiteral(", ")).toStdString());
}

bool is_picture_block(const QTextBlock& block) {
    bool picture = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().isImageFormat())
            picture = true;
        else if (!it.fragment().text().trimmed().isEmpty())
            return false;
    }
    return picture;
}

bool is_caption_block(const QTextBlock& block) {
    if (!block.isValid() || block.text().trimmed().isEmpty() || !is_picture_block(block.previous()))
        return false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (!it.fragment().charFormat().fontItalic() && !it.fragment().text().trimmed().isEmpty())
            return false;
    }
    return true;
}

// A caption written on the picture's own line (no empty line between) gets a paragraph of its own.
void split_captions(QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int end = fragment.position() + fragment.length();
            if (!fragment.charFormat().isImageFormat() || end >= block.position() + block.length() - 1)
                continue;
            QTextCursor cursor(&document);
            cursor.setPosition(end);
            // The soft line break or space between the picture and its caption goes.
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            if (cursor.selectedText().trimmed().isEmpty())
                cursor.removeSelectedText();
            else
                cursor.clearSelection();
            cursor.insertBlock();
            break;
        }
    }
}

// A picture no wider than the text, nor taller than most of a page; never enlarged.
QImage picture_of(const QTextDocument& document, const QTextFragment& fragment) {
    const QString name = fragment.charFormat().toImageFormat().name();
    const QImage image = document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
    if (image.isNull())
        throw std::runtime_error("no picture for " + name.toStdString());
    return image;
}

// The width of the widest picture in the text, in pixels.
int widest_picture(const QTextDocument& document) {
    int widest = 1;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                widest = std::max(widest, picture_of(document, it.fragment()).width());
    return widest;
}

// All pictures at one scale, the widest as wide as the text, so that a dialog keeps its size beside the
// window; a picture is made smaller still to take at most 60 % of a page's height, and never enlarged.
void fit_picture(QTextDocument& document, const QTextFragment& fragment, int widest) {
    QTextImageFormat format = fragment.charFormat().toImageFormat();
    const QImage image = picture_of(document, fragment);
    const qreal most = std::min(
        text_width / widest, 0.6 * (page_size.height() - margins.top() - margins.bottom()) / image.height());
    const qreal scale = std::min(1.0, most / format_scale);
    format.setWidth(image.width() * scale);
    format.setHeight(image.height() * scale);
    QTextCursor cursor(&document);
    cursor.setPosition(fragment.position());
    cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
    cursor.setCharFormat(format);
}

void style_heading(QTextBlock block, bool first) {
    static const qreal sizes[] = {20, 14, 12, 11, 10, 10};
    const int level = block.blockFormat().headingLevel();
    QTextCursor cursor(block);
    QTextBlockFormat format = block.blockFormat();
    format.setTopMargin(level == 1 ? 6 * format_mm : 14 * format_mm / 3);
    format.setBottomMargin(level == 1 ? 5 * format_mm : 2 * format_mm);
    if (level == 1 && !first)
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    cursor.setBlockFormat(format);
    cursor.select(QTextCursor::BlockUnderCursor);
    QTextCharFormat characters;
    characters.setFont(text_font(sizes[std::clamp(level, 1, 6) - 1]));
    characters.setFontWeight(QFont::Bold);
    characters.setForeground(heading_colour);
    cursor.mergeCharFormat(characters);
}

void style_table(QTextTable& table) {
    QTextTableFormat format = table.format();
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(QColor(0xb0, 0xb0, 0xb0));
    format.setBorderCollapse(true);
    format.setCellSpacing(0);
    format.setCellPadding(1.5 * format_mm);
    format.setHeaderRowCount(1);
    format.setTopMargin(2 * format_mm);
    format.setBottomMargin(3 * format_mm);
    table.setFormat(format);
    for (int column = 0; column < table.columns(); ++column) {
        QTextTableCell cell = table.cellAt(0, column);
        QTextCharFormat header = cell.format();
        header.setBackground(QColor(0xe8, 0xee, 0xf4));
        cell.setFormat(header);
    }
}

bool is_code_block(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().hasProperty(QTextFormat::BlockCodeFence);
}

// Everything but the headings: text, pictures and their captions, table cells.
void style_body(QTextDocument& document, QTextBlock block, int widest) {
    QTextCursor cursor(block);
    QTextBlockFormat format = block.blockFormat();
    if (is_code_block(block)) {
        // Room for the grey behind the code (code_backgrounds) above its first line and below its last.
        format.setLeftMargin(1.5 * code_padding / format_scale);
        format.setTopMargin(is_code_block(block.previous()) ? 0 : 2 * code_padding / format_scale);
        format.setBottomMargin(is_code_block(block.next()) ? 0 : 2 * code_padding / format_scale);
    } else if (cursor.currentTable() != nullptr) {
        // A table right after a code block starts with a paragraph's margins in its first cell.
        format.setTopMargin(0);
        format.setBottomMargin(0);
    } else if (block.textList() == nullptr && block.previous().textList() != nullptr) {
        format.setTopMargin(2 * format_mm); // a paragraph after a list
    } else if (is_picture_block(block)) {
        format.setAlignment(Qt::AlignHCenter);
        format.setTopMargin(3 * format_mm);
        format.setBottomMargin(is_caption_block(block.next()) ? 1 * format_mm : 4 * format_mm);
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                fit_picture(document, it.fragment(), widest);
    } else if (is_caption_block(block)) {
        format.setAlignment(Qt::AlignHCenter);
        format.setBottomMargin(5 * format_mm);
        cursor.select(QTextCursor::BlockUnderCursor);
        QTextCharFormat characters;
        characters.setForeground(muted_colour);
        characters.setFontPointSize(9);
        cursor.mergeCharFormat(characters);
    }
    cursor.setBlockFormat(format);
}

void style(QTextDocument& document) {
    split_captions(document);
    bool first_chapter = true;
    const int widest = widest_picture(document);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0) {
            style_heading(block, first_chapter);
            first_chapter = first_chapter && block.blockFormat().headingLevel() != 1;
        } else {
            style_body(document, block, widest);
        }
    }
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            style_table(*table);
}

// The grey behind the code blocks, in the document's coordinates: the width of the text, from a padding
// above a block's first line to a padding below its last.
std::vector<QRectF> code_backgrounds(const QTextDocument& document) {
    std::vector<QRectF> backgrounds;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!is_code_block(block))
            continue;
        const QRectF lines = document.documentLayout()->blockBoundingRect(block);
        const qreal top = lines.top() - (is_code_block(block.previous()) ? 0 : code_padding);
        const qreal bottom = lines.bottom() + (is_code_block(block.next()) ? 0 : code_padding);
        backgrounds.emplace_back(margins.left(), top, text_width, bottom - top);
    }
    return backgrounds;
}

// Where a block's first or last line lies on the laid-out pages.
int page_of_line(const QTextDocument& document, const QTextBlock& block, bool last) {
    const QTextLayout* layout = block.layout();
    const qreal top = document.documentLayout()->blockBoundingRect(block).top();
    if (layout == nullptr || layout->lineCount() == 0)
        return int(top / page_size.height());
    const QTextLine line = layout->lineAt(last ? layout->lineCount() - 1 : 0);
    return int((top + line.y() + line.height() / 2) / page_size.height());
}

// A block that must be on the same page as the start of the next one (a heading, a paragraph that leads
// in to a list, table or code with a colon), or as all of the next one (a picture and its caption).
bool keeps_with_next(const QTextBlock& block) {
    return block.blockFormat().headingLevel() > 0 ||
           (is_picture_block(block) && is_caption_block(block.next())) ||
           (block.textList() == nullptr && !is_code_block(block) &&
            QTextCursor(block).currentTable() == nullptr &&
            block.text().trimmed().endsWith(QLatin1Char(':')));
}

// A heading, a lead-in, or a picture with its caption, that would be split from what it goes with starts
// the next page instead, together with the headings right before it.
void keep_with_next(QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid() && block.next().isValid();
         block = block.next()) {
        if (!keeps_with_next(block))
            continue;
        QTextBlock start = block;
        while (start.previous().isValid() && start.previous().blockFormat().headingLevel() > 0)
            start = start.previous();
        const int page = page_of_line(document, start, false);
        const bool whole_next = is_picture_block(block);
        if (page_of_line(document, block, true) == page &&
            page_of_line(document, block.next(), whole_next) == page)
            continue;
        // Already first on its page: it cannot go further.
        if (!start.previous().isValid() || page_of_line(document, start.previous(), true) != page)
            continue;
        QTextBlockFormat format = start.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(start).setBlockFormat(format);
        (void)document.pageCount(); // laid out again
    }
}

QTextDocument* lay_out(QTextDocument& document, QPaintDevice& device, const QString& markdown,
                       const QString& pictures) {
    document.documentLayout()->setPaintDevice(&device);
    document.setDefaultFont(text_font(10));
    document.setPageSize(page_size);
    document.setMarkdown(markdown);
    add_pictures(document, markdown, pictures); // setMarkdown() clears the resources
    QTextFrameFormat frame = document.rootFrame()->frameFormat();
    frame.setLeftMargin(margins.left() / format_scale);
    frame.setRightMargin(margins.right() / format_scale);
    frame.setTopMargin(margins.top() / format_scale);
    frame.setBottomMargin(margins.bottom() / format_scale);
    document.rootFrame()->setFrameFormat(frame);
    style(document);
    (void)document.pageCount();
    keep_with_next(document);
    return &document;
}

struct Chapter {
    QString name;
    int page; // counted from the title page, 1
};

std::vector<Chapter> chapters_of(const QTextDocument& document) {
    std::vector<Chapter> chapters;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (block.blockFormat().headingLevel() == 1)
            chapters.push_back({block.text().trimmed(), page_of_line(document, block, false) + 2});
    return chapters;
}

void paint_title_page(QPainter& painter, const std::vector<Chapter>& chapters) {
    const QRectF area(margins.left(), margins.top(), text_width,
                      page_size.height() - margins.top() - margins.bottom());
    painter.setPen(heading_colour);
    painter.setFont(text_font(30));
    const QRectF name(area.left(), area.top() + 60 * mm, area.width(), 20 * mm);
    painter.drawText(name, Qt::AlignHCenter | Qt::AlignBottom, title);
    painter.setPen(muted_colour);
    painter.setFont(text_font(13));
    painter.drawText(
        QRectF(area.left(), name.bottom() + 4 * mm, area.width(), 10 * mm), Qt::AlignHCenter,
        QStringLiteral("The service tool for the q5 controller, version %1").arg(QStringLiteral(Q5_VERSION)));
    painter.fillRect(
        QRectF(area.left() + area.width() / 4, name.bottom() + 18 * mm, area.width() / 2, 0.5 * mm),
        heading_colour);

    painter.setFont(text_font(11));
    qreal y = name.bottom() + 40 * mm;
    painter.setPen(heading_colour);
    painter.drawText(QRectF(area.left() + 20 * mm, y, area.width() - 40 * mm, 8 * mm), Qt::AlignLeft,
                     QStringLiteral("Contents"));
    painter.setPen(Qt::black);
    for (const Chapter& chapter : chapters) {
        y += 8 * mm;
        const QRectF line(area.left() + 20 * mm, y, area.width() - 40 * mm, 8 * mm);
        painter.drawText(line, Qt::AlignLeft, chapter.name);
        painter.drawText(line, Qt::AlignRight, QString::number(chapter.page));
    }
}

void paint_footer(QPainter& painter, int page, int pages) {
    painter.setFont(text_font(8.5));
    painter.setPen(muted_colour);
    const QRectF footer(margins.left(), page_size.height() - margins.bottom() + 8 * mm, text_width, 8 * mm);
    painter.fillRect(QRectF(footer.left(), footer.top() - 2 * mm, footer.width(), 0.2 * mm), muted_colour);
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("%1 %2").arg(title, QStringLiteral(Q5_VERSION)));
    painter.drawText(footer, Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("Page %1 of %2").arg(page).arg(pages));
}

void write_pdf(const QString& markdown, const QString& pictures, const QString& output) {
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + output.toStdString() + ": " +
                                 file.errorString().toStdString());
    QPdfWriter writer(&file);
    writer.setResolution(dpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("q5tool %1").arg(QStringLiteral(Q5_VERSION)));

    QTextDocument document;
    lay_out(document, writer, markdown, pictures);
    const int pages = document.pageCount() + 1;
    const std::vector<QRectF> backgrounds = code_backgrounds(document);
    QPainter painter(&writer);
    // The pictures are screenshots: JPEG would blur their text.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    paint_title_page(painter, chapters_of(document));
    for (int page = 0; page + 1 < pages; ++page) {
        writer.newPage();
        painter.save();
        painter.translate(0, -page * page_size.height());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(0, page * page_size.height(), page_size.width(), page_size.height());
        painter.setClipRect(context.clip);
        for (const QRectF& background : backgrounds)
            if (background.intersects(context.clip))
                painter.fillRect(background, code_background);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        paint_footer(painter, page + 2, pages);
    }
    if (!painter.end() || !file.commit())
        throw std::runtime_error("cannot write " + output.toStdString());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_manual MARKDOWN PICTURES OUTPUT\n");
        return 2;
    }
    // Fonts without a display, nor a desktop session.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir runtime_dir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime_dir.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_dir.path()));
    QGuiApplication app(argc, argv);
    try {
        const QString markdown = read_text(QString::fromLocal8Bit(argv[1]));
        write_pdf(markdown, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_manual: %s\n", e.what());
        return 1;
    }
    return 0;
}
