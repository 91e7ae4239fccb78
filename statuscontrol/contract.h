#pragma once

#include <QMetaType>
#include <QtGlobal>

#include "common/twips.h"

// What the window relies on of the Vireo status control: its identity, the dispatch ids, names
// and types of its properties, and its one method. The window reaches the control only through
// these ids, so any control that answers them can take the preview's place.
namespace tamarin::contract {

inline constexpr const char* kProgId = "VireoLib.Vireo";
inline constexpr const char* kClassId = "5E81C0D4-37A2-4B19-8C6E-2F90A1D3B7E5";

}  // namespace tamarin::contract

// The dispatch ids, by which every property and the method are reached.
namespace tamarin::dispid {

using DispId = quint32;

// The container's (extender) properties: twips as single-precision numbers; Visible a Boolean.
inline constexpr DispId Left = 0x80010003u;
inline constexpr DispId Top = 0x80010004u;
inline constexpr DispId Width = 0x80010005u;
inline constexpr DispId Height = 0x80010006u;
inline constexpr DispId Visible = 0x80010007u;

// The control's own properties.
inline constexpr DispId RefreshInterval = 0x68030000u;  // 32-bit integer, milliseconds
inline constexpr DispId Version = 0x68030001u;          // text, read only
inline constexpr DispId GameType = 0x68030002u;         // text
inline constexpr DispId HostPort = 0x68030003u;         // 32-bit integer
inline constexpr DispId HostName = 0x68030004u;         // text
inline constexpr DispId Details = 0x68030020u;          // Boolean
inline constexpr DispId ExpandedHight = 0x68030021u;    // 32-bit integer, twips

// ConfigureServer(address text, port text, game type text, game key text by reference,
//                 interval 32-bit integer in ms, empty text)
inline constexpr DispId ConfigureServer = 0x6003001Eu;

}  // namespace tamarin::dispid

namespace tamarin::contract {

using dispid::DispId;

inline constexpr int kConfigureServerArgs = 6;

struct PropertyInfo {
    DispId id;
    const char* name;
    QMetaType::Type type;
};

inline constexpr PropertyInfo kProperties[] = {
    {dispid::Left, "Left", QMetaType::Float},
    {dispid::Top, "Top", QMetaType::Float},
    {dispid::Width, "Width", QMetaType::Float},
    {dispid::Height, "Height", QMetaType::Float},
    {dispid::Visible, "Visible", QMetaType::Bool},
    {dispid::RefreshInterval, "RefreshInterval", QMetaType::Int},
    {dispid::Version, "Version", QMetaType::QString},
    {dispid::GameType, "GameType", QMetaType::QString},
    {dispid::HostPort, "HostPort", QMetaType::Int},
    {dispid::HostName, "HostName", QMetaType::QString},
    {dispid::Details, "Details", QMetaType::Bool},
    {dispid::ExpandedHight, "ExpandedHight", QMetaType::Int},
};

// The stored (design-time) properties the preview is created with.
struct StoredProperties {
    qint32 extentX = 13467;       // _extentx: own width in HIMETRIC (7635 twips)
    qint32 extentY = 1138;        // _extenty: own collapsed height in HIMETRIC (about 645 twips)
    qint32 expandedHight = 1755;  // expandedhight: expanded height in twips
};

// HIMETRIC (hundredths of a millimetre) to twips.
inline constexpr double kHimetricPerInch = 2540.0;
inline constexpr double himetricToTwips(qint32 himetric) {
    return himetric * kTwipsPerInch / kHimetricPerInch;
}

}  // namespace tamarin::contract
