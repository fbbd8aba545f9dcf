#pragma once

// The fuzzer's input as an open, read-only device, for the readers that parse from a QIODevice.

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_bytes(QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size))),
          m_device(&m_bytes)
    {
        m_device.open(QIODevice::ReadOnly);
    }
    FuzzInput(const FuzzInput&) = delete;
    FuzzInput& operator=(const FuzzInput&) = delete;

    const QByteArray& bytes() const { return m_bytes; }
    QBuffer& device() { return m_device; }

private:
    QByteArray m_bytes;
    QBuffer m_device;
};
