#include "gui/erasesectors.h"

#include "core/operations/flashoperations.h"
#include "gui/chipsafety.h"
#include "gui/erasesectordialog.h"
#include "gui/operationframe.h"
#include "gui/userinteraction.h"

#include <algorithm>
#include <memory>

bool eraseSectors(const OperationContext& context, int startSector, int count)
{
    OperationFrame frame(context, FlashOperation::EraseSectors);
    if (!frame.open())
        return false;
    const std::uint64_t sectorSize = std::uint64_t(std::max(context.chip.Config.SectorSize, 0));
    if (!confirmChange(frame, std::uint64_t(std::max(startSector, 0)) * sectorSize,
                       (std::uint64_t(std::max(startSector, 0)) + std::uint64_t(std::max(count, 0))) *
                           sectorSize))
        return false;
    frame.startProgress(count);
    if (count > 0 && !eraseSectors(context.adapter, frame.target(), static_cast<std::uint32_t>(startSector),
                                   static_cast<std::uint32_t>(count), frame.progressSink())
                          .ok()) {
        frame.fail();
        return false;
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
