// Captures what the writers send to stdout and stderr within one process.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

class StreamCapture {
  public:
    explicit StreamCapture(FILE *&stream) : stream_(stream), saved_(stream) {
        stream_ = open_memstream(&buffer_, &size_);
    }
    ~StreamCapture() { finish(); free(buffer_); }
    std::string text() {
        finish();
        return std::string(buffer_, size_);
    }

  private:
    void finish() {
        if (stream_ == saved_) return;
        fclose(stream_);
        stream_ = saved_;
    }
    FILE *&stream_;
    FILE *saved_;
    char *buffer_ = nullptr;
    size_t size_ = 0;
};
