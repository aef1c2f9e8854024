#include "driver/driver_info.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "context/context.h"
#include "driver/handlers.h"

namespace krogw {
namespace {

// Code page 437 box drawing and shading.
constexpr char kDoubleVertical = '\xBA';
constexpr char kDoubleHorizontal = '\xCD';
constexpr char kTopLeft = '\xC9';
constexpr char kTopRight = '\xBB';
constexpr char kBottomLeft = '\xC8';
constexpr char kBottomRight = '\xBC';
constexpr char kFullBlock = '\xDB';
constexpr char kDarkShade = '\xB2';
constexpr char kMediumShade = '\xB1';
constexpr char kLightShade = '\xB0';

constexpr int kInnerWidth = 59;  // columns between the two bars

class BannerBuilder {
  public:
    constexpr void Put(char c, int times = 1) {
        for (int i = 0; i < times; ++i) {
            text_[length_++] = c;
        }
    }
    constexpr void Put(std::string_view s) {
        for (char c : s) {
            Put(c);
        }
    }
    // One framed line: blank, bar, the 59 inner columns, bar, line feed.
    constexpr void Framed(int left_blanks, std::string_view inner, int right_blanks) {
        Put(' ');
        Put(kDoubleVertical);
        Put(' ', left_blanks);
        Put(inner);
        Put(' ', right_blanks);
        Put(kDoubleVertical);
        Put('\n');
    }
    constexpr void Rule(char left, char right) {
        Put(' ');
        Put(left);
        Put(kDoubleHorizontal, kInnerWidth);
        Put(right);
        Put('\n');
    }
    constexpr std::array<char, kBannerLength + 1> Finish() {
        text_[length_] = '\0';
        return text_;
    }
    constexpr size_t length() const { return length_; }

  private:
    std::array<char, kBannerLength + 1> text_{};
    size_t length_ = 0;
};

constexpr std::string_view kTitle = "Zazuvodi DuvoRid, Driver installed.";
constexpr std::string_view kProduct = "RTU NETWORK GateWay for TCP/IP";
constexpr std::string_view kNotice = "(C) Zazuvodi DuvoRid - all rights reserved";

constexpr BannerBuilder BuildBanner() {
    BannerBuilder b;
    b.Put('\n');
    b.Rule(kTopLeft, kTopRight);
    // Shaded bar with the driver's name in its middle.
    b.Put(' ');
    b.Put(kDoubleVertical);
    b.Put(' ');
    b.Put(kFullBlock, 5);
    b.Put(kDarkShade, 6);
    b.Put(kMediumShade, 6);
    b.Put(kLightShade, 6);
    b.Put(" K R O G W ");
    b.Put(kLightShade, 6);
    b.Put(kMediumShade, 6);
    b.Put(kDarkShade, 6);
    b.Put(kFullBlock, 5);
    b.Put(' ');
    b.Put(kDoubleVertical);
    b.Put('\n');
    b.Framed(12, kTitle, 12);
    b.Framed(13, kProduct, 16);
    constexpr int notice_left = (kInnerWidth - static_cast<int>(kNotice.size())) / 2;
    b.Framed(notice_left, kNotice, kInnerWidth - static_cast<int>(kNotice.size()) - notice_left);
    b.Rule(kBottomLeft, kBottomRight);
    return b;
}

static_assert(BuildBanner().length() == size_t{kBannerLength},
              "one line feed and six lines of 62 + 1");

constexpr std::array<char, kBannerLength + 1> kBanner = BuildBanner().Finish();

}  // namespace

const char* DriverBanner() {
    return kBanner.data();
}

int32_t GetDriverInfo(HostRequest& request) {
    auto& info = *static_cast<DriverInfo*>(request.arguments);
    info.driver_code = 82;
    info.short_name = kShortName;
    info.banner = kBanner.data();
    info.context_size = kContextSize;
    info.info_flag = 1;
    info.info_mode = 2;
    return kResultDone;
}

}  // namespace krogw
