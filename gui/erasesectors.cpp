#include "gui/erasesectors.h"

#include "gui/userinteraction.h"
#include "core/adapter/adapterlibrary.h"
#include "gui/erasesectordialog.h"
#include "gui/operationframe.h"

#include <memory>

int chipSectorCount(const CHIP_INFO& chip)
{
    const std::int64_t sectorSize = chip.Config.SectorSize;
    const std::int64_t size = chipSize(chip);
    if (sectorSize <= 0 || size <= 0)
        return 1;
    return static_cast<int>((size + sectorSize - 1) / sectorSize);
}

bool eraseSectors(const OperationContext& context, int startSector, int count)
{
    OperationFrame frame(context, FlashOperation::EraseSectors);
    if (!frame.open())
        return false;
    frame.startProgress(count);
    for (int done = 0; done < count; ++done) {
        const auto sector = static_cast<std::uint32_t>(startSector + done);
        if (context.adapter.flashEraseSectors(context.deviceIndex, context.selector, sector, 1) != 0) {
            frame.fail();
            return false;
        }
        frame.step(done + 1);
    }
    frame.succeed();
    return true;
}

bool chooseAndEraseSectors(const OperationContext& context)
{
    int start = 0;
    int count = 0;
    {
        // Owned here so that it is gone before the work starts, never left behind as a hidden child.
        auto dialog = std::make_unique<EraseSectorDialog>(context.window);
        dialog->setSectorTotal(chipSectorCount(context.chip));
        if (context.ui.execDialog(dialog.get()) != QDialog::Accepted)
            return false;
        start = dialog->startSector();
        count = dialog->sectorNum();
    }
    return eraseSectors(context, start, count);
}
