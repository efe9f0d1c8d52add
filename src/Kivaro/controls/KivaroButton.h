#pragma once
// The application's push button, primary (accent-filled) button, switch-style toggle and icon
// button in one self-drawn class.
//
// Configure it like any button: title (`setText`), symbol image (`setSymbol`, a name of
// NativeSymbols; `setIcon` also works and is drawn untinted), image position, content tint,
// tool tip, accessible name, enabled, and connect `clicked`. A toggle is checkable and its
// on/off value is `isChecked()`. The intrinsic size is `sizeHint()` (height 32).
//
// Subclasses that draw differently override `paintEvent`; everything else (hover, focus,
// press) keeps working. `paint` is the whole drawing as a function of a `Look`, so tests and
// subclasses can reproduce or reuse it on any painter.

#include "NativeAppAppearance/Appearance.h"
#include "NativeAppAppearance/NativeColor.h"

#include <QAbstractButton>
#include <QIcon>

#include <optional>

namespace Kivaro {

class KivaroButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class ImagePosition { leading, imageOnly, noImage };

    // Everything the drawing depends on.
    struct Look {
        QSizeF size;
        QString title;
        QString symbol;      // drawn tinted when it names a symbol
        QIcon icon;          // drawn as is when there is no symbol
        ImagePosition imagePosition = ImagePosition::leading;
        std::optional<NativeAppAppearance::NativeColor> contentTint;
        bool primary = false;
        bool toggle = false;
        bool on = false;
        bool enabled = true;
        bool pressed = false;
        bool hovered = false;
        bool focused = false;
        bool hasImage() const;
    };

    explicit KivaroButton(QWidget *parent = nullptr);
    explicit KivaroButton(const QString &title, QWidget *parent = nullptr);

    bool isPrimary() const { return m_primary; }
    void setPrimary(bool primary);
    // A toggle draws as a switch with its title beside it and is checkable.
    bool isToggle() const { return m_toggle; }
    void setToggle(bool toggle);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &name);
    ImagePosition imagePosition() const { return m_imagePosition; }
    void setImagePosition(ImagePosition position);
    std::optional<NativeAppAppearance::NativeColor> contentTintColor() const { return m_contentTint; }
    void setContentTintColor(std::optional<NativeAppAppearance::NativeColor> color);

    bool isHovered() const { return m_hovered; }
    // What the pointer's entering and leaving do; hover shows only while the window is active.
    void pointerEntered();
    void pointerExited();

    Look look() const;
    NativeAppAppearance::Appearance effectiveAppearance() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static QSizeF intrinsicSize(const Look &look);
    static void paint(QPainter &painter, const Look &look, NativeAppAppearance::Appearance appearance);
    // The colour of title and image.
    static QColor contentColor(const Look &look, NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool m_primary = false;
    bool m_toggle = false;
    bool m_hovered = false;
    QString m_symbol;
    ImagePosition m_imagePosition = ImagePosition::leading;
    std::optional<NativeAppAppearance::NativeColor> m_contentTint;
};

} // namespace Kivaro
