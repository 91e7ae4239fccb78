#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>
#include <cstring>
#include <optional>

namespace tamarin {

// Appends an integer in little-endian byte order, as the query protocols write their numbers.
template <typename T>
void appendLittleEndian(QByteArray& bytes, T value) {
    char raw[sizeof(T)];
    qToLittleEndian(value, raw);
    bytes.append(raw, sizeof(T));
}

// A 32-bit number in big-endian byte order, as the GameSpy queries write their ids.
inline QByteArray bigEndianBytes(quint32 value) {
    char raw[sizeof value];
    qToBigEndian(value, raw);
    return QByteArray(raw, sizeof value);
}

// Reads little-endian fields from an untrusted datagram. Every read checks what remains first and
// fails with std::nullopt instead of reading past the end; a failed read consumes nothing, so the
// caller can stop at the first field that did not fully arrive.
class ByteReader {
  public:
    explicit ByteReader(QByteArrayView data) : data_(data) {}

    qsizetype remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return remaining() == 0; }
    QByteArrayView rest() const { return data_.sliced(pos_); }

    std::optional<quint8> readU8() { return readLittle<quint8>(); }
    std::optional<qint16> readI16() { return readLittle<qint16>(); }
    std::optional<quint32> readU32() { return readLittle<quint32>(); }
    std::optional<qint32> readI32() { return readLittle<qint32>(); }

    std::optional<float> readF32() {
        const std::optional<quint32> bits = readU32();
        if (!bits) {
            return std::nullopt;
        }
        float value;
        std::memcpy(&value, &*bits, sizeof value);
        return value;
    }

    std::optional<QByteArrayView> readBytes(qsizetype count) {
        if (count < 0 || count > remaining()) {
            return std::nullopt;
        }
        const QByteArrayView bytes = data_.sliced(pos_, count);
        pos_ += count;
        return bytes;
    }

    bool skip(qsizetype count) { return readBytes(count).has_value(); }

    // The bytes up to the next NUL; the NUL is consumed but not returned. A string whose NUL did
    // not arrive is incomplete and fails.
    std::optional<QByteArrayView> readCString() {
        const qsizetype end = rest().indexOf('\0');
        if (end < 0) {
            return std::nullopt;
        }
        const QByteArrayView text = data_.sliced(pos_, end);
        pos_ += end + 1;
        return text;
    }

  private:
    template <typename T>
    std::optional<T> readLittle() {
        if (remaining() < qsizetype(sizeof(T))) {
            return std::nullopt;
        }
        const T value = qFromLittleEndian<T>(data_.data() + pos_);
        pos_ += sizeof(T);
        return value;
    }

    QByteArrayView data_;
    qsizetype pos_ = 0;
};

}  // namespace tamarin
