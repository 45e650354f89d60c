// The language list file: which languages the chooser offers, and the
// service code of each.
//
// The file is meant to be code page 936 with CR LF line breaks, but today's
// editors save UTF-8, UTF-16 or line feeds alone; read that way, such a file
// would give garbage names or none. So the file's bytes are first decoded
// into the system's text and their line breaks made CR LF (`DecodeListFile`),
// and both readers below work on that text.
#pragma once

#include <optional>
#include <vector>

#include "platform/text.h"

namespace vyrelo::app {

// The section that holds the languages, and the name of the fixed other side
// of every translation, which the chooser never lists.
Text LanguageSectionName();
Text ChineseLanguageName();

// The file's bytes as the system's text: UTF-16 with a byte order mark and
// UTF-8 with or without one are converted; a file without a mark counts as
// UTF-8 only when it is valid UTF-8 holding a byte above 127, and is taken as
// it stands otherwise (up to its first zero byte). Every line feed that no
// carriage return precedes becomes CR LF.
Text DecodeListFile(std::string_view bytes);

// The whole file, decoded; nullopt when it cannot be opened. `fileName` is a
// `Text`; it is converted to this system's UTF-8 file names here.
std::optional<Text> ReadListFile(const Text& fileName);

// The key names of the section's body, by the list file's own rules: each "="
// closes one name that starts at its line's start (or at the "=" before it on
// the same line), "|" splits a name, the first "[" after the header ends the
// section.
TextList SectionKeysFromText(const Text& content, const Text& sectionName);

// Replaces `keys` with the section's key names and returns their number; a
// file that cannot be read gives 0 and leaves `keys` as it was.
int ReadIniSectionKeys(const Text& fileName, const Text& sectionName, TextList& keys);

struct ChooserItem {
  Text name;
  int value = 0;  // the name's 1-based position in the full list
};

// What the chooser lists: every name of the section but "中文" standing
// exactly so, each with its position in the full list.
std::vector<ChooserItem> LanguageChooserItems(const Text& fileName);

// The value of `key` in `section`, read as the system INI reader does: section
// and key match ignoring ASCII case and surrounding spaces, the first match
// counts, the value is trimmed and loses one pair of surrounding quotes, at
// most 10239 bytes; "" when there is none.
Text IniValueFromText(const Text& content, const Text& section, const Text& key);

// The lookup made at every translation: bytes of 32 or less are skipped at the
// start of path, section and key; when one of them is then empty, or the file,
// section or key is missing, the code is "". The file is read afresh.
Text LookupIniValue(const Text& fileName, const Text& section, const Text& key);

}  // namespace vyrelo::app
