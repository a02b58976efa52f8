// The adjustment dialogs' "Preview" on the whole picture, computed off the user-interface thread. Only
// the newest request counts: a newer one or Stop ends an older run between rows, and a result that is
// no longer the newest is dropped.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "image/image.h"
#include "image/processors/processor.h"

namespace glimmora {

using ProcessorList = std::vector<std::unique_ptr<PixelProcessor>>;

class LivePreview : public QObject {
    Q_OBJECT

  public:
    // source: the picture every run starts from. done gets each finished result on this object's
    // thread.
    LivePreview(std::shared_ptr<const Image> source, std::function<void(Image&&)> done,
                QObject* parent = nullptr);
    // Returns at once; a run still going ends at its next row and its result is dropped.
    ~LivePreview() override;

    // Runs the processors in turn on a copy of the source; to32 converts the copy to 32 bits first.
    void Request(ProcessorList processors, bool to32);
    // Drops the pending and the running request.
    void Stop();
    bool Busy() const;
    // Hands a finished result to done (on this object's thread).
    void Deliver(Image&& result);

    struct State;

  private:
    std::shared_ptr<State> state_;
    std::function<void(Image&&)> done_;
};

}  // namespace glimmora
