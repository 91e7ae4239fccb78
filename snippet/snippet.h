#pragma once

#include <QString>
#include <QtGlobal>

namespace tamarin {

// The values the snippet is written from, read from the preview control and the screen.
struct SnippetValues {
    qint32 pixelHeight = 0;
    QString gameType;
    QString hostName;
    qint32 hostPort = 0;
    QString version;
    qint32 refreshInterval = 0;
    bool details = false;
    qint32 expandedHight = 0;
};

// The host of the maker's web site (the code base) and of the download page.
inline constexpr const char* kCodeBaseHost = "www.vireo.example";
inline constexpr const char* kDownloadHost = "download.vireo.example";

// The fifteen lines of HTML that place the status control in a page, CR LF after each.
QString snippetText(const SnippetValues& values);

}  // namespace tamarin
