#pragma once
// A link-like button (KivaroLinkStyle), for "open the changelog" and the like. The label sits
// `focusMargin` points inside the button on every side, room for the focus ring around it.

#include <QAbstractButton>

namespace Kivaro {

class KivaroLinkButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit KivaroLinkButton(const QString &title, QWidget *parent = nullptr);
    static constexpr qreal focusMargin = 3;

    QSize sizeHint() const override;
    // The label's size in points (12 unless set).
    qreal pointSize() const { return m_pointSize; }
    void setPointSize(qreal points);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_pointSize;
};

} // namespace Kivaro
