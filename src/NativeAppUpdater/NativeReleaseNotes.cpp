#include "NativeAppUpdater/NativeReleaseNotes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QMessageBox>
#include <QMutex>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <md4c.h>

#include <algorithm>
#include <vector>

namespace NativeAppUpdater {

namespace {

struct Block {
    MD_BLOCKTYPE type;
    int id;
    unsigned level = 0;   // headers
    unsigned ordinal = 0; // list items: their number; ordered lists: the next number
    bool ordered = false; // lists
    // What the blocks from the document down to this one decide, kept as they open so that
    // text costs the same however deeply it is nested: the outermost header or code block
    // (which styles the text) and list item or quote (which gives the prefix), as indices into
    // the stack, and whether any of them is an ordered list.
    int outermostStyle = -1;
    int outermostPrefix = -1;
    bool anyOrdered = false;
    bool anyCode = false;
};

struct Span {
    MD_SPANTYPE type;
    QUrl link;
    // As for blocks: what the spans from the outermost down to this one add up to.
    bool code = false;
    bool strong = false;
    bool emphasis = false;
    bool strikethrough = false;
    int innermostLink = -1;
};

QString entity(const QString &text)
{
    static const QHash<QString, QString> named{
        {QStringLiteral("&amp;"), QStringLiteral("&")},   {QStringLiteral("&lt;"), QStringLiteral("<")},
        {QStringLiteral("&gt;"), QStringLiteral(">")},    {QStringLiteral("&quot;"), QStringLiteral("\"")},
        {QStringLiteral("&apos;"), QStringLiteral("'")},  {QStringLiteral("&nbsp;"), QString(QChar(0xA0))},
        {QStringLiteral("&copy;"), QString(QChar(0xA9))}, {QStringLiteral("&mdash;"), QString(QChar(0x2014))},
        {QStringLiteral("&ndash;"), QString(QChar(0x2013))},
    };
    if (const auto it = named.constFind(text); it != named.cend())
        return *it;
    if (text.startsWith(QLatin1String("&#")) && text.endsWith(QLatin1Char(';'))) {
        const bool hex = text.size() > 3 && (text[2] == QLatin1Char('x') || text[2] == QLatin1Char('X'));
        bool ok = false;
        const uint code = text.mid(hex ? 3 : 2, text.size() - (hex ? 4 : 3)).toUInt(&ok, hex ? 16 : 10);
        if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
            const char32_t c = code;
            return QString::fromUcs4(&c, 1);
        }
        return QString(QChar(0xFFFD));
    }
    return text;
}

QString attributeText(const MD_ATTRIBUTE &attribute)
{
    QString out;
    if (!attribute.text)
        return out;
    for (int i = 0; attribute.substr_offsets[i] < attribute.size; ++i) {
        const MD_OFFSET begin = attribute.substr_offsets[i];
        const MD_OFFSET end = attribute.substr_offsets[i + 1];
        const QString piece = QString::fromUtf8(attribute.text + begin, qsizetype(end - begin));
        out += attribute.substr_types[i] == MD_TEXT_ENTITY ? entity(piece) : piece;
    }
    return out;
}

class Builder {
public:
    ReleaseNotesText result;

    int enterBlock(MD_BLOCKTYPE type, void *detail)
    {
        Block block{type, ++m_nextId};
        if (type == MD_BLOCK_H)
            block.level = static_cast<MD_BLOCK_H_DETAIL *>(detail)->level;
        if (type == MD_BLOCK_OL) {
            block.ordered = true;
            block.ordinal = static_cast<MD_BLOCK_OL_DETAIL *>(detail)->start;
        }
        if (type == MD_BLOCK_LI) {
            for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
                if (it->type == MD_BLOCK_OL || it->type == MD_BLOCK_UL) {
                    block.ordinal = it->type == MD_BLOCK_OL ? it->ordinal++ : 0;
                    break;
                }
            }
        }
        m_blocks.push_back(block);
        summarizeBlock(m_blocks.size() - 1);
        return 0;
    }

    // md4c 0.4.8 can report leaving a span or block it never entered on hostile input (found
    // by fuzzing): a leave only closes the innermost open one of its kind, if there is one.
    int leaveBlock(MD_BLOCKTYPE type)
    {
        const auto open = std::find_if(m_blocks.rbegin(), m_blocks.rend(), [type](const Block &b) { return b.type == type; });
        if (open == m_blocks.rend())
            return 0;
        // A code block's text ends with its last line break; the block separator gives one.
        if (type == MD_BLOCK_CODE && !result.runs.isEmpty() && m_lastBlock == open->id
            && result.runs.last().text.endsWith(QLatin1Char('\n')))
            result.runs.last().text.chop(1);
        const size_t index = size_t(std::distance(m_blocks.begin(), std::next(open).base()));
        m_blocks.erase(m_blocks.begin() + qsizetype(index));
        // Only a leave out of order (hostile input) closes anything but the innermost.
        for (size_t i = index; i < m_blocks.size(); ++i)
            summarizeBlock(i);
        return 0;
    }

    int enterSpan(MD_SPANTYPE type, void *detail)
    {
        Span span{type, {}};
        if (type == MD_SPAN_A) {
            const QUrl url(attributeText(static_cast<MD_SPAN_A_DETAIL *>(detail)->href), QUrl::StrictMode);
            const QString scheme = url.scheme().toLower();
            if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty())
                span.link = url;
        }
        m_spans.push_back(span);
        summarizeSpan(m_spans.size() - 1);
        return 0;
    }

    int leaveSpan(MD_SPANTYPE type)
    {
        const auto open = std::find_if(m_spans.rbegin(), m_spans.rend(), [type](const Span &span) { return span.type == type; });
        if (open == m_spans.rend())
            return 0;
        const size_t index = size_t(std::distance(m_spans.begin(), std::next(open).base()));
        m_spans.erase(m_spans.begin() + qsizetype(index));
        for (size_t i = index; i < m_spans.size(); ++i)
            summarizeSpan(i);
        return 0;
    }

    int text(MD_TEXTTYPE type, const MD_CHAR *data, MD_SIZE size)
    {
        QString piece = QString::fromUtf8(data, qsizetype(size));
        switch (type) {
        case MD_TEXT_ENTITY:
            piece = entity(piece);
            break;
        case MD_TEXT_NULLCHAR:
            piece = QString(QChar(0xFFFD));
            break;
        case MD_TEXT_BR:
            piece = QStringLiteral("\n");
            break;
        case MD_TEXT_SOFTBR:
            piece = QStringLiteral(" ");
            break;
        default:
            break;
        }
        append(piece);
        return 0;
    }

private:
    void summarizeBlock(size_t i)
    {
        Block &block = m_blocks[i];
        const Block *outer = i > 0 ? &m_blocks[i - 1] : nullptr;
        block.outermostStyle = outer ? outer->outermostStyle : -1;
        block.outermostPrefix = outer ? outer->outermostPrefix : -1;
        block.anyOrdered = (outer && outer->anyOrdered) || block.type == MD_BLOCK_OL;
        block.anyCode = (outer && outer->anyCode) || block.type == MD_BLOCK_CODE;
        if (block.outermostStyle < 0 && (block.type == MD_BLOCK_H || block.type == MD_BLOCK_CODE))
            block.outermostStyle = int(i);
        if (block.outermostPrefix < 0 && (block.type == MD_BLOCK_LI || block.type == MD_BLOCK_QUOTE))
            block.outermostPrefix = int(i);
    }

    void summarizeSpan(size_t i)
    {
        Span &span = m_spans[i];
        const Span *outer = i > 0 ? &m_spans[i - 1] : nullptr;
        span.code = (outer && outer->code) || span.type == MD_SPAN_CODE;
        span.strong = (outer && outer->strong) || span.type == MD_SPAN_STRONG;
        span.emphasis = (outer && outer->emphasis) || span.type == MD_SPAN_EM;
        span.strikethrough = (outer && outer->strikethrough) || span.type == MD_SPAN_DEL;
        span.innermostLink = span.type == MD_SPAN_A ? int(i) : (outer ? outer->innermostLink : -1);
    }

    // The innermost block that holds text; the document itself carries no block intent.
    int currentBlockId() const
    {
        if (m_blocks.empty() || m_blocks.back().type == MD_BLOCK_DOC)
            return 0;
        return m_blocks.back().id;
    }

    void append(const QString &piece)
    {
        const int id = currentBlockId();
        const bool hasBlock = id != 0;
        const bool newBlock = !(m_lastHadBlock && hasBlock && id == m_lastBlock);
        if (!result.runs.isEmpty()) {
            if ((!hasBlock && m_lastHadBlock) || (hasBlock && (!m_lastHadBlock || id != m_lastBlock)))
                appendRun(QStringLiteral("\n"), result.runs.last());
        }

        ReleaseNotesRun run;
        QString prefix;
        if (!m_blocks.empty()) {
            const Block &innermost = m_blocks.back();
            // The outermost header or code block styles the text.
            if (innermost.outermostStyle >= 0) {
                const Block &style = m_blocks[size_t(innermost.outermostStyle)];
                if (style.type == MD_BLOCK_H) {
                    run.bold = true;
                    run.pointSize = 23 - 2 * qMin(style.level, 6u);
                    if (innermost.anyCode)
                        run.face = ReleaseNotesRun::Face::monospaced;
                } else {
                    run.face = ReleaseNotesRun::Face::monospaced;
                    run.pointSize = 12;
                    run.bold = false;
                }
            }
            // The outermost list item or quote gives the prefix.
            if (newBlock && innermost.outermostPrefix >= 0) {
                const Block &item = m_blocks[size_t(innermost.outermostPrefix)];
                if (item.type == MD_BLOCK_LI)
                    prefix = innermost.anyOrdered ? QString::number(item.ordinal) + QStringLiteral(". ") : QStringLiteral("• ");
                else
                    prefix = QStringLiteral("│ ");
            }
        }
        bool code = false, strong = false, emphasis = false;
        if (!m_spans.empty()) {
            const Span &innermost = m_spans.back();
            code = innermost.code;
            strong = innermost.strong;
            emphasis = innermost.emphasis;
            run.strikethrough = innermost.strikethrough;
            if (innermost.innermostLink >= 0)
                run.link = m_spans[size_t(innermost.innermostLink)].link;
        }
        if (code) {
            run.face = ReleaseNotesRun::Face::monospaced;
            run.pointSize = 12;
            run.bold = false;
        }
        run.bold = run.bold || strong;
        run.italic = emphasis;
        appendRun(prefix + piece, run);
        m_lastBlock = id;
        m_lastHadBlock = hasBlock;
    }

    void appendRun(const QString &text, const ReleaseNotesRun &style)
    {
        if (text.isEmpty())
            return;
        if (!result.runs.isEmpty() && result.runs.last().sameStyle(style)) {
            result.runs.last().text += text;
            return;
        }
        ReleaseNotesRun run = style;
        run.text = text;
        result.runs << run;
    }

    std::vector<Block> m_blocks;
    std::vector<Span> m_spans;
    int m_nextId = 0;
    int m_lastBlock = 0;
    bool m_lastHadBlock = false;
};

QString cappedNotes(const QString &markdown)
{
    QByteArray utf8 = markdown.toUtf8();
    if (utf8.size() <= maxReleaseNotesBytes)
        return markdown;
    qsizetype cut = maxReleaseNotesBytes;
    while (cut > 0 && (uchar(utf8[cut]) & 0xC0) == 0x80)
        --cut;
    utf8.truncate(cut);
    return QString::fromUtf8(utf8);
}

ReleaseNotesText convertReleaseNotes(const QString &markdown);

} // namespace

QString ReleaseNotesText::plainText() const
{
    QString text;
    for (const ReleaseNotesRun &run : runs)
        text += run.text;
    return text;
}

ReleaseNotesText nativeReleaseNotes(const QString &markdown)
{
    // The same notes are shown again and again (each prompt, each window, the fallback alert):
    // converted once, the last result kept.
    static QMutex mutex;
    static QString lastMarkdown;
    static ReleaseNotesText lastNotes;
    {
        QMutexLocker lock(&mutex);
        if (!lastMarkdown.isNull() && lastMarkdown == markdown)
            return lastNotes;
    }
    ReleaseNotesText notes = convertReleaseNotes(markdown);
    QMutexLocker lock(&mutex);
    lastMarkdown = markdown;
    lastNotes = notes;
    return notes;
}

namespace {

ReleaseNotesText convertReleaseNotes(const QString &markdown)
{
    const QString capped = cappedNotes(markdown);
    const QByteArray utf8 = capped.toUtf8();
    Builder builder;
    MD_PARSER parser{};
    parser.abi_version = 0;
    parser.flags = MD_FLAG_NOHTML | MD_FLAG_STRIKETHROUGH | MD_FLAG_TABLES;
    parser.enter_block = [](MD_BLOCKTYPE type, void *detail, void *user) { return static_cast<Builder *>(user)->enterBlock(type, detail); };
    parser.leave_block = [](MD_BLOCKTYPE type, void *, void *user) { return static_cast<Builder *>(user)->leaveBlock(type); };
    parser.enter_span = [](MD_SPANTYPE type, void *detail, void *user) { return static_cast<Builder *>(user)->enterSpan(type, detail); };
    parser.leave_span = [](MD_SPANTYPE type, void *, void *user) { return static_cast<Builder *>(user)->leaveSpan(type); };
    parser.text = [](MD_TEXTTYPE type, const MD_CHAR *text, MD_SIZE size, void *user) {
        return static_cast<Builder *>(user)->text(type, text, size);
    };
    if (md_parse(utf8.constData(), MD_SIZE(utf8.size()), &parser, &builder) != 0) {
        ReleaseNotesText plain;
        ReleaseNotesRun run;
        run.text = capped;
        plain.runs << run;
        return plain;
    }
    return builder.result;
}

} // namespace

void fillReleaseNotesDocument(QTextDocument &document, const ReleaseNotesText &notes, const QColor &labelColor,
                              const QColor &linkColor, const std::function<QFont(const ReleaseNotesRun &)> &fontFor)
{
    document.clear();
    QTextCursor cursor(&document);
    for (const ReleaseNotesRun &run : notes.runs) {
        QFont font;
        if (fontFor) {
            font = fontFor(run);
        } else {
            font = run.face == ReleaseNotesRun::Face::monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font();
            font.setPixelSize(qRound(run.pointSize));
            font.setBold(run.bold);
            font.setItalic(run.italic);
        }
        font.setStrikeOut(run.strikethrough);
        QTextCharFormat format;
        format.setFont(font);
        format.setForeground(run.link.isEmpty() ? labelColor : linkColor);
        if (!run.link.isEmpty()) {
            format.setAnchor(true);
            format.setAnchorHref(run.link.toString(QUrl::FullyEncoded));
            format.setFontUnderline(true);
        }
        cursor.insertText(run.text, format);
    }
}

void addNativeReleaseNotes(QMessageBox *alert, const std::optional<QString> &markdown)
{
    if (!alert || !markdown || markdown->trimmed().isEmpty())
        return;
    auto *view = new QTextBrowser(alert);
    view->setObjectName(QStringLiteral("releaseNotes"));
    view->setReadOnly(true);
    // Links are opened by us, and only http and https ones exist in the document.
    view->setOpenLinks(false);
    QObject::connect(view, &QTextBrowser::anchorClicked, view, [](const QUrl &url) {
        if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
            QDesktopServices::openUrl(url);
    });
    view->setFixedSize(420, 220);
    view->setFrameShape(QFrame::NoFrame);
    // No background of its own: the alert's shows through.
    QPalette transparent = view->palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    view->setPalette(transparent);
    view->setAutoFillBackground(false);
    view->viewport()->setAutoFillBackground(false);
    view->document()->setDocumentMargin(8);
    const QPalette palette = alert->palette();
    fillReleaseNotesDocument(*view->document(), nativeReleaseNotes(*markdown), palette.color(QPalette::WindowText),
                             palette.color(QPalette::Link));
    // The box lays its parts out in a grid with the buttons in the last row: the notes go
    // between the texts and the buttons.
    auto *grid = qobject_cast<QGridLayout *>(alert->layout());
    auto *buttons = alert->findChild<QDialogButtonBox *>();
    const int index = grid && buttons ? grid->indexOf(buttons) : -1;
    if (index < 0) {
        if (grid)
            grid->addWidget(view, grid->rowCount(), 0, 1, grid->columnCount());
        return;
    }
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    grid->removeWidget(buttons);
    grid->addWidget(view, row, 0, 1, grid->columnCount());
    grid->addWidget(buttons, row + 1, column, rowSpan, columnSpan);
}

} // namespace NativeAppUpdater
