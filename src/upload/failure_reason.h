#pragma once
// Why a file of a batch failed, in words for the user, and data/lasterror.xml,
// which keeps the last such reason of the current batch for support.
#include <cstddef>
#include <string>

namespace upload {

// `text` made fit for one line of a reason: control characters and runs of white
// space become one blank, the ends are trimmed, and at most `maxBytes` bytes are
// kept ("..." then marks the cut, which never splits a UTF-8 sequence). Servers
// choose most of these texts, so none may bring line breaks or any length.
std::string excerpt(const std::string& text, size_t maxBytes);

// A reply whose status is outside 2xx: its status line and the start of its body.
std::string statusReason(const std::string& statusLine, const std::string& body);

// An upload that did not go through: the first error its XML trail records.
std::string trailReason(const std::string& trailXml);

// lasterror.xml in the data folder.
std::string lastErrorPath();

// Replaces data/lasterror.xml with the failed file, its reason and (when not
// empty) the XML trail of its upload. A folder that cannot take the file loses
// this record alone: the user has the reason already.
void saveLastError(const std::string& file, const std::string& reason, const std::string& trailXml);

}  // namespace upload
