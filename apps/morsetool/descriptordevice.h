#pragma once

#include <QIODevice>

/// An input stream read straight from a file descriptor, such as standard input. Each read
/// hands on what the descriptor has at that moment, so a pipe that is written slowly (a live
/// demodulator) is read line by line as it comes, and every byte, NUL included, is data.
/// (A QFile on a descriptor waits for whole buffers; one on a C stream stops lines at a NUL.)
class DescriptorDevice : public QIODevice
{
public:
    explicit DescriptorDevice(int nDescriptor);

    bool isSequential() const override { return true; }
    bool atEnd() const override;

protected:
    qint64 readData(char* pData, qint64 nMax) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    int m_nDescriptor;
    bool m_bEnded = false;
};
