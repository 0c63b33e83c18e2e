#include "core/DataSource.h"

#include "core/IStreamFile.h"

namespace mirvo {

DataSource::DataSource(std::string filePath, std::string filePathHint, std::string url)
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

DataSourcePathRef DataSourcePath::create(const std::string& path)
{
    return DataSourcePathRef(new DataSourcePath(path));
}

DataSourcePath::DataSourcePath(const std::string& path) : DataSource(path, path, std::string())
{
}

IStreamMirvoRef DataSourcePath::createStream()
{
    return loadFileStream(mFilePath);
}

void DataSourcePath::createBuffer()
{
    IStreamFileRef stream = loadFileStream(mFilePath);
    if (!stream) {
        throw StreamExc();
    }
    mBuffer = loadStreamBuffer(stream);
}

DataSourcePathRef loadFile(const std::string& path)
{
    return DataSourcePath::create(path);
}

} // namespace mirvo
