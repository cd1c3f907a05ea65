#pragma once
// Picture types: what a picture's extension, or the type the browser or a
// server reports for it, says it is, and how the picture lists show it.
// JPG, GIF, PNG and BMP have type codes and filter buttons of their own;
// the types of today's web (WebP, AVIF, SVG, icons) are named by their own
// type text and extension but count with the other types (code 5), so they
// show under "All" and sort behind the four.
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr uint8_t itJpgCode = 1, itGifCode = 2, itPngCode = 3, itBmpCode = 4, itOtherCode = 5;

// The type an extension names, written as its usual extension without the
// dot ("jpg", "webp"), when the extension is one a picture keeps as its
// own: .jpg, .gif, .png, .bmp, .webp, .avif, .svg, .ico in any letter case.
// Empty for anything else (".jpeg" too: such a name gets ".jpg" added from
// its type, as it always did).
std::string Img_TypeOfExt(std::string_view Ext);

// The type a type text names: the browser's picture type in the style of
// "JPEG Image", "PNG Image", "WebP Image", "AVIF Image", "SVG Image",
// "Icon Image", or a MIME type ("image/webp", "image/svg+xml; charset=utf-8").
// The four old texts are read by their first three letters ("jpe" meaning
// jpg), so "Bitmap Image" names no type. Empty when the text names none.
std::string Img_TypeOfText(std::string_view Text);

// The type code of a type from the functions above: 1 jpg, 2 gif, 3 png,
// 4 bmp, 5 anything else.
uint8_t Img_TypeCode(std::string_view Type);
// "JPG", "WEBP", ...; "?" for no type.
std::string Img_TypeText(std::string_view Type);

// The address's path ends in the extension of a picture (.jpeg and .jpe
// too), so that a link to it leads to the picture itself, not to a page.
bool Img_UrlNamesPicture(const std::string &Url);

// A file name for a picture of Type: Name itself when it has an extension
// already, else Name with the type's extension added ("pic" and "webp" give
// "pic.webp"). Name alone when the type is unknown.
std::string Img_NameForType(const std::string &Name, std::string_view Type);
