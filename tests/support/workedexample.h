#pragma once

#include <QString>

#include "snippet/snippet.h"

// The snippet's worked example: the values a preview reports and the exact text they give.
namespace tamarin::example {

inline SnippetValues values() {
    SnippetValues values;
    values.pixelHeight = 118;
    values.gameType = "hl";
    values.hostName = "10.0.0.1";
    values.hostPort = 27015;
    values.version = "1.0";
    values.refreshInterval = 30000;
    values.details = true;
    values.expandedHight = 1740;
    return values;
}

inline QString text() {
    return QString(
               "<OBJECT classid=CLSID:5E81C0D4-37A2-4B19-8C6E-2F90A1D3B7E5 style=\"HEIGHT: 118px; "
               "WIDTH: 514px\">\r\n"
               "\t<PARAM NAME=\"GameType\" VALUE=\"hl\">\r\n"
               "\t<PARAM NAME=\"HostName\" VALUE=\"10.0.0.1\">\r\n"
               "\t<PARAM NAME=\"HostPort\" VALUE=\"27015\">\r\n"
               "\t<PARAM NAME=\"Version\" VALUE=\"1.0\">\r\n"
               "\t<PARAM NAME=\"RefreshInterval\" VALUE=\"30000\">\r\n"
               "\t<PARAM NAME=\"Details\" VALUE=\"True\">\r\n"
               "\t<PARAM NAME=\"ExpandedHight\" VALUE=\"1740\">\r\n"
               "<EMBED style=\"HEIGHT: 118px; WIDTH: 514px\"\r\n"
               "\ttype=\"application/x-eskerplus\"\r\n"
               "\tCLASSID=\"CLSID:5E81C0D4-37A2-4B19-8C6E-2F90A1D3B7E5\"\r\n"
               "\tcodebase=\"http://%1/Vireo/Vireo.ocx\"\r\n"
               "\tGameType=\"hl\" HostName=\"10.0.0.1\" HostPort=\"27015\" "
               "RefreshInterval=\"30000\" Details=\"True\" ExpandedHight=\"1740\" "
               "Version=\"1.0\"></embed>\r\n"
               "</OBJECT>\r\n"
               "<br><a href=\"http://%2/vireo/\">Get Vireo</a>\r\n")
        .arg(kCodeBaseHost, kDownloadHost);
}

}  // namespace tamarin::example
