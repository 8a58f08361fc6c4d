#include "songediting.h"

#include <cstring>

#include "library/library.h"
#include "musictagseditdialog.h"
#include "musictagswriter.h"

namespace {
const void* Ptr(const void* p) {
    return p;
}
}  // namespace

bool EditSongTags(CLibrary* library, CTreeWidgetItem* row, QWidget* parent) {
    if (!library || !row) return false;
    std::unique_ptr<SongRecord> record = library->LoadRecord(row);
    if (!record) {
        qDebug("EditSongTags can not found record, item: %p musicId: %d", Ptr(row), row->MusicId());
        return false;
    }
    CMusicTagsEditDialog dialog(*record, parent);
    if (dialog.exec() != QDialog::Accepted) return false;

    const SongRecord& saved = dialog.Record();
    const bool changed = std::memcmp(&saved.tags, &record->tags, sizeof saved.tags) != 0 ||
                         saved.ImageId != record->ImageId;
    if (changed && !row->IsPlaying()) WriteMusicTags(saved);
    if (changed || saved.MusicPath != record->MusicPath) library->StoreRecord(saved);
    // A name the user typed came neither from a player nor from
    // identification.
    if (TagText(saved.tags.songName) != TagText(record->tags.songName))
        library->SetNameOrigin(row, NameOrigin_None);
    return changed;
}

bool ChooseShownCover(CLibrary* library, CTreeWidgetItem* row, int imageIndex) {
    if (!library || !row) return false;
    std::unique_ptr<SongRecord> record = library->LoadRecord(row);
    if (!record || imageIndex < 0 || imageIndex >= qMin(int(record->tags.imageCount), 5) ||
        record->ImageId == imageIndex)
        return false;
    record->ImageId = imageIndex;
    // The file's picture follows the choice, unless the player has it open.
    if (!row->IsPlaying()) WriteMusicTags(*record);
    library->StoreRecord(*record);
    return true;
}
