#include "Kivaro/voice-and-text/TextHistoryWindow.h"

#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/sharing/ShareRowButton.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "Platform/Pasteboard/Pasteboard.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QVBoxLayout>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {
// The widest a row's text may be: the rest of the row is the share button and the margins.
constexpr int kTextWidth = 430;
} // namespace

TextHistoryWindow::TextHistoryWindow(QObject *parent) : TextHistoryWindow(Platform::generalPasteboard(), parent) {}

TextHistoryWindow::TextHistoryWindow(std::shared_ptr<Platform::Pasteboard> pasteboard, QObject *parent)
    : KivaroListWindow({[] { return kivaroCopy("识字记录"); }, kRowHeight, QSize(480, 300),
                        [] {
                            return new KivaroTextLabel(kivaroCopy("最近 20 条。双击复制，点击分享发送文本文件。"), NativeFonts::system(12),
                                                       DynamicColor::secondaryLabel, 1);
                        }},
                       parent),
      m_pasteboard(std::move(pasteboard))
{
}

QString TextHistoryWindow::preview(const QString &text)
{
    // Whole characters: a surrogate pair is not cut in two.
    qsizetype end = 0;
    for (int count = 0; end < text.size() && count < kPreviewLength; ++count)
        end += text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return text.left(end);
}

QString TextHistoryWindow::detail(const RecognizedTextRecord &record)
{
    const QDateTime local = record.date.toLocalTime();
    const QString when = QLocale().toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') + QLocale().toString(local.time(), QLocale::ShortFormat);
    return when + QStringLiteral(" · ") + (record.polished ? kivaroCopy("AI 润色") : QStringLiteral("OCR"));
}

void TextHistoryWindow::show(const QList<RecognizedTextRecord> &records, ShareAction share)
{
    m_records = records;
    m_share = std::move(share);
    QList<KivaroTableRow *> rows;
    for (const RecognizedTextRecord &record : std::as_const(m_records))
        rows << makeRow(record);
    present(rows);
}

void TextHistoryWindow::rowActivated(int)
{
    copySelected();
}

KivaroTableRow *TextHistoryWindow::makeRow(const RecognizedTextRecord &record)
{
    auto *row = new KivaroTableRow;
    auto *cell = new QHBoxLayout(row);
    cell->setContentsMargins(16, 10, 16, 10);
    cell->setSpacing(16);

    auto *text = new KivaroTextLabel(preview(record.text), NativeFonts::system(13), DynamicColor::label, 3);
    text->setWrapWidth(kTextWidth);
    text->setMaximumWidth(kTextWidth);
    auto *stack = new QVBoxLayout;
    stack->setSpacing(6);
    stack->addStretch(1); // the two lines centred in the row, as the button is
    stack->addWidget(text);
    stack->addWidget(new KivaroTextLabel(detail(record), NativeFonts::system(11), DynamicColor::secondaryLabel, 1));
    stack->addStretch(1);
    cell->addLayout(stack, 1);

    const QPointer<TextHistoryWindow> self(this);
    cell->addWidget(new ShareRowButton([self, record](ShareRowButton *button) {
                        if (self && self->m_share)
                            self->m_share(record, button);
                    }),
                    0, Qt::AlignVCenter);
    return row;
}

void TextHistoryWindow::copySelected()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_records.size())
        return;
    m_pasteboard->setString(m_records[row].text);
}

} // namespace Kivaro
