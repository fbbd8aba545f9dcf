#include "descriptordevice.h"

#include "shutdownsignals.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

DescriptorDevice::DescriptorDevice(int nDescriptor) : m_nDescriptor(nDescriptor) {}

bool DescriptorDevice::atEnd() const
{
    return m_bEnded && QIODevice::bytesAvailable() == 0;
}

qint64 DescriptorDevice::readData(char* pData, qint64 nMax)
{
    if (m_bEnded || nMax <= 0)
        return 0; // a read of nothing from the descriptor would look like its end
    for (;;) {
        const ssize_t count = ::read(m_nDescriptor, pData, size_t(nMax));
        if (count >= 0) {
            m_bEnded = count == 0;
            return count;
        }
        if (errno == EINTR && ShutdownSignals::Requested()) {
            m_bEnded = true; // asked to stop: what was read is finished, nothing more
            return 0;
        }
        if (errno != EINTR) {
            setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
            return -1;
        }
    }
}
