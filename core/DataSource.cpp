#include "core/DataSource.h"

#include "core/IStreamFile.h"

namespace mirvo {

DataSource::DataSource(std::filesystem::path filePath, std::filesystem::path filePathHint, std::string url)
    : mFilePath(std::move(filePath)), mFilePathHint(std::move(filePathHint)), mUrl(std::move(url))
{
}

Buffer DataSource::getBuffer()
{
    if (!mBuffer) {
        createBuffer();
    }
    return mBuffer;
}

DataSourcePathRef DataSourcePath::create(const std::filesystem::path& path)
{
    return DataSourcePathRef(new DataSourcePath(path));
}

DataSourcePath::DataSourcePath(const std::filesystem::path& path) : DataSource(path, path, std::string())
{
}

IStreamMirvoRef DataSourcePath::createStream()
{
    return loadFileStream(mFilePath);
}

void DataSourcePath::createBuffer()
{
    IStreamFileRef stream = loadFileStream(mFilePath.string());
    if (!stream) {
        throw StreamExc();
    }
    mBuffer = loadStreamBuffer(stream);
}

DataSourcePathRef loadFile(const std::filesystem::path& path)
{
    return DataSourcePath::create(path);
}

} // namespace mirvo
