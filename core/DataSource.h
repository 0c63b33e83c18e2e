// A readable file named by a path or a resource, opened only when a stream or its bytes are
// asked for. Shared-owned; made and read on the main thread, or by one decoder at a time.
#pragma once

#include "core/Buffer.h"
#include "core/Stream.h"

#include <filesystem>
#include <memory>
#include <string>

namespace mirvo {

class DataSource;
class DataSourcePath;
using DataSourceRef = std::shared_ptr<DataSource>;
using DataSourcePathRef = std::shared_ptr<DataSourcePath>;

class DataSource {
  public:
    virtual bool isFilePath() = 0;
    virtual bool isUrl() = 0;
    // A new stream over the data; empty when it cannot be opened.
    virtual IStreamMirvoRef createStream() = 0;
    virtual ~DataSource() = default;

    const std::filesystem::path& getFilePath() const { return mFilePath; }
    // What format detection looks at (its extension, for example).
    const std::filesystem::path& getFilePathHint() const { return mFilePathHint; }
    const std::string& getUrl() const { return mUrl; }

    // The whole content, read on the first request and kept for the data source's lifetime.
    Buffer getBuffer();

  protected:
    DataSource(std::filesystem::path filePath, std::filesystem::path filePathHint, std::string url);
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    // Fills mBuffer.
    virtual void createBuffer() = 0;

    Buffer mBuffer;
    std::filesystem::path mFilePath;
    std::filesystem::path mFilePathHint;
    std::string mUrl;
};

class DataSourcePath : public DataSource {
  public:
    // Never touches the disk: a missing file shows only when a stream or buffer is requested.
    static DataSourcePathRef create(const std::filesystem::path& path);

    bool isFilePath() override { return true; }
    bool isUrl() override { return false; }
    IStreamMirvoRef createStream() override;

  protected:
    explicit DataSourcePath(const std::filesystem::path& path);
    // Throws StreamExc when the file cannot be opened or read.
    void createBuffer() override;

    IStreamMirvoRef mStream;
};

// A data source for any path, unchecked.
DataSourcePathRef loadFile(const std::filesystem::path& path);

} // namespace mirvo
