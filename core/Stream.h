// The stream interfaces: StreamBase (name, position, size) and IStreamMirvo (reading), with
// StreamExc for seeks and reads that cannot be honoured. A stream is used by one thread at a
// time; the owner of the shared reference decides which.
#pragma once

#include "core/Buffer.h"
#include "core/Exception.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mirvo {

// Carries no message of its own: `what` gives the generic exception text.
class StreamExc : public Exception {};

class StreamBase {
  public:
    virtual ~StreamBase() = default;

    const std::string& getFileName() const { return mFileName; }
    void setFileName(const std::string& fileName) { mFileName = fileName; }
    // When set, the file named by getFileName is removed as the stream goes away.
    bool getDeleteOnDestroy() const { return mDeleteOnDestroy; }
    void setDeleteOnDestroy(bool deleteOnDestroy = true) { mDeleteOnDestroy = deleteOnDestroy; }

    // Length in bytes; 0 for a stream that cannot tell its length.
    virtual int64_t size() = 0;
    virtual int64_t tell() const = 0;
    // Throw StreamExc when the position cannot be reached.
    virtual void seekAbsolute(int64_t position) = 0;
    virtual void seekRelative(int64_t delta) = 0;

  protected:
    StreamBase() = default;
    StreamBase(const StreamBase&) = delete;
    StreamBase& operator=(const StreamBase&) = delete;

    std::string mFileName;
    bool mDeleteOnDestroy = false;
};

class IStreamMirvo : public virtual StreamBase {
  public:
    // Reads up to `count` bytes and returns how many were delivered.
    virtual std::size_t readDataAvailable(void* destination, std::size_t count) = 0;
    virtual bool isEof() = 0;
    // Reads exactly `count` bytes or throws StreamExc.
    virtual void readData(void* destination, std::size_t count);
};

using IStreamMirvoRef = std::shared_ptr<IStreamMirvo>;

// The stream's whole remaining content. Throws StreamExc for an empty reference or a read
// that fails before the end of the stream.
Buffer loadStreamBuffer(const IStreamMirvoRef& stream);

} // namespace mirvo
