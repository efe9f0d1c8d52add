#pragma once
// The views of the editor window, built once by the controller (EditorViewBuilder.cpp). The
// root view owns them all through Qt's parent chain; the canvas is the document's, borrowed.

class QShortcut;

namespace NativeAppAppearance {
class NativePopupButton;
}

namespace Kivaro {

class CanvasBackgroundView;
class CompactStatusLabel;
class EditorDockView;
class HoldOverlay;
class KivaroButton;
class KivaroModes;
class TransparencyGridView;
class VoiceFeedbackView;

namespace detail {

class RoundedCornerMask;

struct EditorViews {
    CanvasBackgroundView *root = nullptr;
    TransparencyGridView *canvasHost = nullptr;
    TransparencyGridView *surround = nullptr;
    HoldOverlay *overlay = nullptr;
    RoundedCornerMask *corners = nullptr;
    EditorDockView *dock = nullptr;
    KivaroModes *mode = nullptr;
    NativeAppAppearance::NativePopupButton *grain = nullptr;
    KivaroButton *markupTools = nullptr;
    KivaroButton *more = nullptr;
    KivaroButton *exportButton = nullptr;
    KivaroButton *shareButton = nullptr;
    KivaroButton *copyButton = nullptr;
    CompactStatusLabel *status = nullptr;
    VoiceFeedbackView *voiceFeedback = nullptr;
    QShortcut *escape = nullptr;
};

} // namespace detail
} // namespace Kivaro
