#include "snippet.h"

#include <charconv>

#include "statuscontrol/contract.h"

namespace tamarin {

namespace {

using Piece = QStringView;

// The literal pieces of the snippet, exactly as pages in the wild expect them.
constexpr Piece kLineEnd{u"\r\n"};
constexpr Piece kTab{u"\t"};

constexpr Piece kObjectOpen{u"<OBJECT classid=CLSID:"};
constexpr Piece kObjectStyleOpen{u" style=\"HEIGHT: "};
constexpr Piece kObjectStyleClose{u"px; WIDTH: 514px\">"};
constexpr Piece kParamGameType{u"<PARAM NAME=\"GameType\" VALUE=\""};
constexpr Piece kParamHostName{u"<PARAM NAME=\"HostName\" VALUE=\""};
constexpr Piece kParamHostPort{u"<PARAM NAME=\"HostPort\" VALUE=\""};
constexpr Piece kParamVersion{u"<PARAM NAME=\"Version\" VALUE=\""};
constexpr Piece kParamRefreshInterval{u"<PARAM NAME=\"RefreshInterval\" VALUE=\""};
constexpr Piece kParamDetails{u"<PARAM NAME=\"Details\" VALUE=\""};
constexpr Piece kParamExpandedHight{u"<PARAM NAME=\"ExpandedHight\" VALUE=\""};
constexpr Piece kParamClose{u"\">"};

constexpr Piece kEmbedOpen{u"<EMBED style=\"HEIGHT: "};
constexpr Piece kEmbedStyleClose{u"px; WIDTH: 514px\""};
constexpr Piece kEmbedType{u"type=\"application/x-eskerplus\""};
constexpr Piece kEmbedClassIdOpen{u"CLASSID=\"CLSID:"};
constexpr Piece kEmbedClassIdClose{u"\""};
constexpr Piece kCodeBaseOpen{u"codebase=\"http://"};
constexpr Piece kCodeBaseClose{u"/Vireo/Vireo.ocx\""};
constexpr Piece kAttrGameType{u"GameType=\""};
constexpr Piece kAttrHostName{u"HostName=\""};
constexpr Piece kAttrHostPort{u"HostPort=\""};
constexpr Piece kAttrRefreshInterval{u"RefreshInterval=\""};
constexpr Piece kAttrDetails{u"Details=\""};
constexpr Piece kAttrExpandedHight{u"ExpandedHight=\""};
constexpr Piece kAttrVersion{u"Version=\""};
constexpr Piece kAttrClose{u"\" "};
constexpr Piece kEmbedClose{u"\"></embed>"};

constexpr Piece kObjectClose{u"</OBJECT>"};
constexpr Piece kDownloadOpen{u"<br><a href=\"http://"};
constexpr Piece kDownloadClose{u"/vireo/\">Get Vireo</a>"};

constexpr Piece kTrue{u"True"};
constexpr Piece kFalse{u"False"};

// The fixed pieces come to 675 characters; the rest is room for the numbers.
constexpr qsizetype kFixedCapacity = 675 + 2 * 5 * 11;

// A text value as it goes into an attribute: the values come from the control, which got them
// from what the user typed, so a quote or an ampersand must not break the page's markup.
struct Escaped {
    QStringView text;
};

class SnippetWriter {
  public:
    explicit SnippetWriter(qsizetype capacity) { text_.reserve(capacity); }

    SnippetWriter& operator<<(Piece piece) {
        text_.append(piece);
        return *this;
    }

    SnippetWriter& operator<<(QLatin1StringView piece) {
        text_.append(piece);
        return *this;
    }

    SnippetWriter& operator<<(qint32 number) {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, number);
        text_.append(QLatin1StringView(digits, result.ptr - digits));
        return *this;
    }

    SnippetWriter& operator<<(bool flag) { return *this << (flag ? kTrue : kFalse); }

    // Copies runs of plain characters in one go and replaces the four that HTML reserves.
    SnippetWriter& operator<<(Escaped value) {
        qsizetype runStart = 0;
        for (qsizetype i = 0; i < value.text.size(); ++i) {
            const Piece entity = entityFor(value.text[i]);
            if (!entity.isEmpty()) {
                text_.append(value.text.sliced(runStart, i - runStart));
                text_.append(entity);
                runStart = i + 1;
            }
        }
        text_.append(value.text.sliced(runStart));
        return *this;
    }

    QString take() { return std::move(text_); }

  private:
    static Piece entityFor(QChar c) {
        switch (c.unicode()) {
            case u'&':
                return u"&amp;";
            case u'"':
                return u"&quot;";
            case u'<':
                return u"&lt;";
            case u'>':
                return u"&gt;";
            default:
                return {};
        }
    }

    QString text_;
};

qsizetype capacityFor(const SnippetValues& values) {
    const qsizetype texts = values.gameType.size() + values.hostName.size() + values.version.size();
    return kFixedCapacity + 2 * texts + qsizetype(qstrlen(kCodeBaseHost)) +
           qsizetype(qstrlen(kDownloadHost));
}

}  // namespace

QString snippetText(const SnippetValues& values) {
    const Escaped gameType{values.gameType};
    const Escaped hostName{values.hostName};
    const Escaped version{values.version};

    SnippetWriter out(capacityFor(values));
    const QLatin1StringView classId(contract::kClassId);
    out << kObjectOpen << classId << kObjectStyleOpen << values.pixelHeight << kObjectStyleClose
        << kLineEnd;
    out << kTab << kParamGameType << gameType << kParamClose << kLineEnd;
    out << kTab << kParamHostName << hostName << kParamClose << kLineEnd;
    out << kTab << kParamHostPort << values.hostPort << kParamClose << kLineEnd;
    out << kTab << kParamVersion << version << kParamClose << kLineEnd;
    out << kTab << kParamRefreshInterval << values.refreshInterval << kParamClose << kLineEnd;
    out << kTab << kParamDetails << values.details << kParamClose << kLineEnd;
    out << kTab << kParamExpandedHight << values.expandedHight << kParamClose << kLineEnd;
    out << kEmbedOpen << values.pixelHeight << kEmbedStyleClose << kLineEnd;
    out << kTab << kEmbedType << kLineEnd;
    out << kTab << kEmbedClassIdOpen << classId << kEmbedClassIdClose << kLineEnd;
    out << kTab << kCodeBaseOpen << QLatin1StringView(kCodeBaseHost) << kCodeBaseClose << kLineEnd;
    out << kTab << kAttrGameType << gameType << kAttrClose << kAttrHostName << hostName
        << kAttrClose << kAttrHostPort << values.hostPort << kAttrClose << kAttrRefreshInterval
        << values.refreshInterval << kAttrClose << kAttrDetails << values.details << kAttrClose
        << kAttrExpandedHight << values.expandedHight << kAttrClose << kAttrVersion << version
        << kEmbedClose << kLineEnd;
    out << kObjectClose << kLineEnd;
    out << kDownloadOpen << QLatin1StringView(kDownloadHost) << kDownloadClose << kLineEnd;
    return out.take();
}

}  // namespace tamarin
