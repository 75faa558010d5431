// SPDX-License-Identifier: MIT
// The batch's words: why a product failed, and its state, in the interface language.
#include "shell/batch_texts.h"

#include <string_view>

namespace turnlet {

std::string BatchFailureText(BatchFailure failure, const std::vector<std::string>& details, Language language) {
    auto detail = [&](std::size_t i) { return i < details.size() ? std::string_view(details[i]) : std::string_view(); };
    switch (failure) {
        case BatchFailure::None:
            return {};
        case BatchFailure::Error:
            return std::string(detail(0));
        case BatchFailure::NoPhotos:
            return Tr(Msg::BatchNoPhotos, language, {detail(0)});
        case BatchFailure::TooFewPhotos:
            return Tr(Msg::BatchTooFewPhotos, language, {detail(0), detail(1), detail(2), detail(3)});
        case BatchFailure::NoFullTurn:
            return Tr(Msg::BatchNoFullTurn, language);
        case BatchFailure::CropDoesNotFit:
            return Tr(Msg::BatchCropDoesNotFit, language,
                      {detail(0), detail(1), detail(2), detail(3), detail(4), detail(5)});
        case BatchFailure::SameName:
            return Tr(Msg::BatchSameName, language, {detail(0)});
        case BatchFailure::BlankFrames:
            return Tr(Msg::BatchBlankFrames, language, {detail(0), detail(1)});
    }
    return {};
}

std::string ProductStateText(ProductState state, Language language) {
    switch (state) {
        case ProductState::Done:
            return Tr(Msg::BatchStateDone, language);
        case ProductState::Skipped:
            return Tr(Msg::BatchStateSkipped, language);
        case ProductState::Failed:
            return Tr(Msg::BatchStateFailed, language);
        case ProductState::Stopped:
            return Tr(Msg::BatchStateStopped, language);
    }
    return {};
}

}  // namespace turnlet
