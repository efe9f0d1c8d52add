#pragma once
// A link-like button (KivaroLinkStyle), for "open the changelog" and the like.

#include <QAbstractButton>

namespace Kivaro {

class KivaroLinkButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit KivaroLinkButton(const QString &title, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Kivaro
