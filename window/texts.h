#pragma once

// The window's own texts, written once and used exactly as they stand (line breaks are CR LF).
namespace tamarin::texts {

inline constexpr const char* kWindowCaption = "Vireo HTML Generator";

inline constexpr const char* kSaveCaption = "Step 1:\r\nSave Options";
inline constexpr const char* kShowHtmlCaption = "Step 2:\r\nShow HTML";
inline constexpr const char* kShowVireoCaption = "Step 2:\r\nShow Vireo";

inline constexpr const char* kMissingInformation = "All information must be filled in or selected";
inline constexpr const char* kRefreshLimit =
    "The maximum time for refreshes is 65 seconds.  Refresh has been set to 65.";
inline constexpr const char* kReloadQuestion =
    "This only do anything if you have already Updated the Game List in Vireo's options "
    "screen.\r\n\r\nDo you want to continue?";

// Step 1 used to go on silently when the server settings could not be handed to the preview, and
// the user then copied a snippet for the old server. It now says so, and why.
inline constexpr const char* kNotApplied = "The server settings were not applied.\r\n\r\n";
inline constexpr const char* kRefreshNotWhole =
    "Refresh Seconds must be a whole number of seconds from -32768 to 32767.";
inline constexpr const char* kGameNotListed =
    "The selected game is no longer in the game list. Pick the game again.";
inline constexpr const char* kControlRefused = "The Vireo control refused them: ";

// The maker's addresses; the links open what the labels show.
inline constexpr const char* kWebSite = "HTTP://www.vireo.example/Vireo/";
inline constexpr const char* kEMail = "support@vireo.example";
inline constexpr const char* kMailTo = "mailto:";

// The settings the window keeps and reads.
inline constexpr const char* kApplication = "Tamarin";
inline constexpr const char* kLastServer = "LastServer";

}  // namespace tamarin::texts
