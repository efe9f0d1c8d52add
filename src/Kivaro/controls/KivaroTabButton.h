#pragma once
// A tab button of the settings views, in KivaroTabStyle. Whether it is the current tab is set by
// its owner (`setSelected`); a click only emits `clicked`.

#include "Kivaro/controls/KivaroTabStyle.h"

#include <QAbstractButton>

namespace Kivaro {

class KivaroTabButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit KivaroTabButton(const QString &title, const QString &symbol = {}, QWidget *parent = nullptr);

    bool isSelected() const { return m_style.selected; }
    void setSelected(bool selected);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    KivaroTabStyle m_style;
    QString m_symbol;
};

} // namespace Kivaro
