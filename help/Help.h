// Opening the help at a dialog's topic. Every dialog with a "Help" button has
// a context number; the help viewer shows the topic of that number from the
// help file that the host names for the setup.
#pragma once

#include <string>

namespace dcdrive {

// Context numbers of the dialogs' help topics. The help pages name a topic by
// its context number written as "0x" and lowercase hex digits ("0x40106").
inline constexpr unsigned kHelpDriveSetup = 0x40106;
inline constexpr unsigned kHelpMotorSetup = 0x40107;
inline constexpr unsigned kHelpAdvanced = 0x40113;
inline constexpr unsigned kHelpExternalReferenceSetup = 0x40101;
inline constexpr unsigned kHelpCurrentTuningTest = 0x40108;
inline constexpr unsigned kHelpSpeedTuningTest = 0x40102;
inline constexpr unsigned kHelpPositionTuningTest = 0x40103;
inline constexpr unsigned kHelpAnalogueReferenceTest = 0x40104;
inline constexpr unsigned kHelpIncrementalEncoderTest = 0x4010D;
inline constexpr unsigned kHelpSsiEncoderTest = 0x40117;
inline constexpr unsigned kHelpVdcDetectionTest = 0x40105;
inline constexpr unsigned kHelpTotalInertiaTest = 0x40111;

// The viewer's commands.
inline constexpr unsigned kHelpCommandDisplayTopic = 0x0;  // the start page
inline constexpr unsigned kHelpCommandHelpContext = 0xF;   // the topic of a context number
inline constexpr unsigned kHelpCommandCloseAll = 0x12;     // close the viewer

// Opens the help file `guiDirectory` + `helpFile` (joined as they are, no
// separator added) at the topic of `context`. An empty file name opens
// nothing. The viewer library is loaded on the first request; when it or its
// entry point is missing, this request and every later one are dropped
// without a message and without trying again.
void OpenHelpFile(const std::string& guiDirectory, const std::string& helpFile, unsigned context);

// Names the viewer library that the next request loads ("libkxhelp.so"
// otherwise) and forgets any earlier load, so that a test can load a stand-in
// or a library that fails. Not for product code.
void SetHelpViewerLibraryForTesting(const std::string& library);

}  // namespace dcdrive
