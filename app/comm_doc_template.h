// CCommDocTemplate: the template of channel documents. A channel made for a client gets its
// title ("RiVo32" + counter) but no window; the user may give it one later
// (CreateChannelFrame) and take it away again while the client goes on (HideChannelFrames).
#pragma once

#include "framework/doc_template.h"

namespace tolvan::app {

class CCommDocTemplate : public tfw::CDocTemplate {
public:
    using tfw::CDocTemplate::CDocTemplate;

    // Without path: a new channel titled with the next untitled name; its new-document
    // initialisation and window only when makeVisible (the counter goes up either way).
    // With path: the channel loads the file (it connects as stored) and takes the path.
    // Null on failure, reported to the user.
    tfw::CDocument* OpenDocumentFile(const char* path, bool makeVisible = true) override;

    // A window for the channel, made by the frame factory, shown. The channel is not
    // deleted meanwhile even when a window of it goes away. False (reported) when no window
    // could be made.
    bool CreateChannelFrame(tfw::CDocument& channel);

    // Destroys every window that shows the channel (a split window once); the channel
    // lives on without views. Returns how many windows went.
    int HideChannelFrames(tfw::CDocument& channel);
};

}  // namespace tolvan::app
