#pragma once
// The words on the rendered screens: parallel phrases in Simplified Chinese, Traditional
// Chinese and English, and a mixed form (Simplified Chinese with English terms) where one
// reads naturally. A phrase without a mixed form shows its Simplified text on mixed screens.

#include "TextScreens/TextScreens.h"

#include <QString>
#include <QStringList>

#include <span>

namespace TextScreens::Texts {

struct Phrase {
    const char *hans;
    const char *hant;
    const char *en;
    const char *mixed = nullptr;

    QString in(Language language) const;
};

struct MenuItem {
    Phrase title;
    const char *shortcut; // empty: none; "-": a separator
};

struct SettingRow {
    Phrase name;
    Phrase value;
    Phrase note;
};

struct ChatMessage {
    bool mine;
    Phrase text; // on mixed screens some messages of the other side are Traditional Chinese
};

std::span<const Phrase> menuBar();
std::span<const MenuItem> fileMenu();
std::span<const MenuItem> editMenu();
std::span<const Phrase> windowTitles();

struct DialogText {
    Phrase title;
    Phrase message;
    Phrase checkbox;
    Phrase fieldLabel;
    Phrase placeholder;
    Phrase secondary;
    Phrase primary;
};
std::span<const DialogText> dialogs();

std::span<const Phrase> settingsSections();
const Phrase &settingsHeader(int column);
std::span<const SettingRow> settingsRows();

std::span<const Phrase> contacts();
std::span<const Phrase> contactPreviews();
std::span<const ChatMessage> conversation();
const Phrase &chatPlaceholder();
const Phrase &chatSend();
const Phrase &yesterday();

// Source lines; a line's comment is a phrase in the screen's language.
struct CodeLine {
    const char *code;
    const Phrase *comment = nullptr;
};
std::span<const CodeLine> cSource();
std::span<const CodeLine> pythonSource();
const Phrase &editorPosition();

const Phrase &articleHeadline();
const Phrase &articleByline();
std::span<const Phrase> articleParagraphs();
const Phrase &relatedHeading();
std::span<const Phrase> relatedLinks();

// The browser: its tabs (one in the other Chinese script: a Traditional page among Simplified
// ones and the other way round), the versions in its side list, and the release notes.
std::span<const Phrase> browserTabs();
std::span<const Phrase> releaseVersions();
const Phrase &releaseHeading();
const Phrase &releaseMeta();
std::span<const Phrase> releaseNotes(); // each an item of a bulleted list, without its bullet
const Phrase &downloadButton();

std::span<const Phrase> places();
const Phrase &panelActivities();
const Phrase &panelClock();
const Phrase &documentText();
const Phrase &statusLine();

} // namespace TextScreens::Texts
