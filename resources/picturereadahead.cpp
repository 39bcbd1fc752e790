#include "resources/picturereadahead.h"

#include "resources/applicationlook.h"

#include <utility>

PictureReadAhead::PictureReadAhead(const QStringList& fileNames)
    : fileNames(fileNames)
    , images(fileNames.size())
    , reading([this] {
        for (int i = 0; i < this->fileNames.size(); ++i)
            images[i] = readPicture(this->fileNames.at(i));
    })
{
}

int PictureReadAhead::keep()
{
    reading.wait();
    int kept = 0;
    for (int i = 0; i < images.size(); ++i) {
        if (keepPicture(fileNames.at(i), std::move(images[i])))
            ++kept;
    }
    images.clear();
    return kept;
}
