#include "resources/picturereadahead.h"

#include "resources/applicationlook.h"

#include <system_error>
#include <utility>

PictureReadAhead::PictureReadAhead(const QStringList& fileNames)
    : fileNames(fileNames)
    , images(fileNames.size())
{
    try {
        thread = std::thread([this] {
            for (int i = 0; i < this->fileNames.size(); ++i)
                images[i] = readPicture(this->fileNames.at(i));
        });
    } catch (const std::system_error&) {
        // No thread to be had: they are read here, as preloadPictures() does.
        for (int i = 0; i < fileNames.size(); ++i)
            images[i] = readPicture(fileNames.at(i));
    }
}

PictureReadAhead::~PictureReadAhead()
{
    wait();
}

void PictureReadAhead::wait()
{
    if (thread.joinable())
        thread.join();
}

int PictureReadAhead::keep()
{
    wait();
    int kept = 0;
    for (int i = 0; i < images.size(); ++i) {
        if (keepPicture(fileNames.at(i), std::move(images[i])))
            ++kept;
    }
    images.clear();
    return kept;
}
