#!/usr/bin/python3
"""Draws every picture of the uninstaller's dialogue (and the small test strips of the unit
tests) into PNG files. The PNGs are committed; run this only to regenerate them:
    /usr/bin/python3 windows/assets/make_assets.py [--sheet OUT.png]
Needs python3-pil and fonts-wqy-microhei."""
import argparse
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

BRAND = (47, 140, 255)          # title bands, primary buttons
BRAND_HOVER = (77, 160, 255)
BRAND_DOWN = (28, 110, 214)
DISABLED = (200, 205, 212)
GREY_TEXT = (136, 136, 136)
LINE = (221, 226, 232)
WHITE = (255, 255, 255)

# id: (width, height, frames) — the sizes the windows are laid out for.
TABLE = {
    237: (319, 40, 3), 238: (54, 18, 3), 239: (144, 18, 8), 240: (112, 14, 8), 241: (319, 40, 3),
    242: (288, 32, 3), 244: (542, 255, 1), 245: (160, 20, 8), 246: (10, 30, 1), 247: (489, 23, 1),
    248: (489, 23, 1), 252: (60, 60, 1), 300: (542, 360, 1), 301: (54, 18, 3), 302: (60, 6, 3),
    304: (889, 41, 3), 305: (542, 468, 1), 306: (542, 380, 1), 307: (288, 32, 3), 308: (1600, 108, 8),
    309: (1600, 108, 8), 310: (1600, 108, 8), 311: (1600, 108, 8), 312: (76, 76, 1), 313: (404, 264, 1),
    314: (543, 416, 1), 315: (479, 223, 1), 316: (69, 23, 3), 319: (540, 341, 1), 320: (96, 96, 1),
    321: (85, 80, 1), 322: (540, 463, 1), 323: (288, 32, 3),
}

REASONS = {
    308: ("广告太多", "弹窗和推荐内容打扰到我"),
    309: ("壁纸豆丢失", "我的壁纸豆不见了"),
    310: ("动态壁纸要付费", "喜欢的动态壁纸需要付费"),
    311: ("动态壁纸无法使用", "动态壁纸设置后不生效"),
}


def font(size):
    return ImageFont.truetype(FONT_FILE, size)


def canvas(w, h, color=(0, 0, 0, 0)):
    return Image.new("RGBA", (w, h), color)


def centred_text(d, box, text, size, fill):
    f = font(size)
    l, t, r, b = d.textbbox((0, 0), text, font=f)
    x = box[0] + (box[2] - box[0] - (r - l)) // 2 - l
    y = box[1] + (box[3] - box[1] - (b - t)) // 2 - t
    d.text((x, y), text, font=f, fill=fill)


def logo(d, x, y, s):
    """The product mark: a rounded square with a stylised landscape (a wallpaper)."""
    d.rounded_rectangle((x, y, x + s, y + s), radius=s // 4, fill=WHITE)
    d.polygon([(x + s * 0.15, y + s * 0.8), (x + s * 0.42, y + s * 0.38), (x + s * 0.62, y + s * 0.65),
               (x + s * 0.72, y + s * 0.52), (x + s * 0.88, y + s * 0.8)], fill=BRAND)
    r = s * 0.1
    d.ellipse((x + s * 0.66 - r, y + s * 0.28 - r, x + s * 0.66 + r, y + s * 0.28 + r), fill=(255, 196, 76))


def title_band(img, height, title="Lumetta卸载"):
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, img.width - 1, height - 1), fill=BRAND)
    logo(d, 14, (height - 24) // 2, 24)
    if title:
        d.text((46, (height - 17) // 2 - 2), title, font=font(15), fill=WHITE)
    return d


def strip(frames, fw, h, draw_frame):
    img = canvas(fw * frames, h)
    for i in range(frames):
        frame = canvas(fw, h)
        draw_frame(ImageDraw.Draw(frame), i, fw, h)
        img.paste(frame, (i * fw, 0))
    return img


def pad_to(img, w, h):
    """Strips whose width is not a multiple of the frame count keep their extra columns blank."""
    if img.size == (w, h):
        return img
    out = canvas(w, h)
    out.paste(img, (0, 0))
    return out


def button_strip(w, h, frames, primary, label=None):
    fw = w // frames
    fills = [BRAND, BRAND_HOVER, BRAND_DOWN, DISABLED] if primary else \
        [WHITE, (242, 247, 255), (226, 236, 250), (240, 240, 240)]
    outline = [None] * 4 if primary else [LINE, BRAND_HOVER, BRAND_DOWN, LINE]

    def draw(d, i, fw, h):
        d.rounded_rectangle((0, 0, fw - 1, h - 1), radius=min(6, h // 3), fill=fills[i % 4], outline=outline[i % 4])
        if label:
            centred_text(d, (0, 0, fw, h), label, max(10, h // 2 - 2), WHITE if primary else GREY_TEXT)
    return pad_to(strip(frames, fw, h, draw), w, h)


def close_strip(w, h, frames, colours):
    fw = w // frames

    def draw(d, i, fw, hh):
        c = colours[i % len(colours)]
        m = max(2, fw // 4)
        top = (hh - (fw - 2 * m)) // 2
        d.line((m, top, fw - 1 - m, top + fw - 1 - 2 * m), fill=c, width=2)
        d.line((fw - 1 - m, top, m, top + fw - 1 - 2 * m), fill=c, width=2)
    return pad_to(strip(frames, fw, h, draw), w, h)


def minimise_strip(w, h, frames):
    fw = w // frames
    colours = [(255, 255, 255, 220), WHITE, (210, 225, 255)]

    def draw(d, i, fw, hh):
        d.rectangle((2, hh // 2 - 1, fw - 3, hh // 2), fill=colours[i % 3])
    return pad_to(strip(frames, fw, h, draw), w, h)


def check_strip(w, h, frames):
    """8 frames: unchecked normal/hover/pressed/disabled, then the same checked."""
    fw = w // frames

    def draw(d, i, fw, hh):
        s = min(fw, hh) - 2
        y = (hh - s) // 2
        state, checked = i % 4, i >= 4
        border = [(190, 190, 190), BRAND_HOVER, BRAND_DOWN, (220, 220, 220)][state]
        fill = (BRAND if state != 3 else DISABLED) if checked else WHITE
        d.rounded_rectangle((1, y, 1 + s, y + s), radius=3, fill=fill, outline=border)
        if checked:
            d.line((4, y + s // 2, 1 + s // 2 - 1, y + s - 4, s - 2, y + 3), fill=WHITE, width=2)
    return pad_to(strip(frames, fw, h, draw), w, h)


def reason_tile(w, h, title, desc):
    fw = w // 8

    def draw(d, i, fw, hh):
        state, selected = i % 4, i >= 4
        bg = [WHITE, (246, 250, 255), (234, 242, 255), (244, 244, 244)][state]
        border = BRAND if selected else [LINE, BRAND_HOVER, BRAND_DOWN, LINE][state]
        d.rounded_rectangle((0, 0, fw - 1, hh - 1), radius=8, fill=bg, outline=border, width=2 if selected else 1)
        tc = (150, 150, 150) if state == 3 else (51, 51, 51)
        d.text((18, 26), title, font=font(17), fill=tc)
        d.text((18, 58), desc, font=font(12), fill=(153, 153, 153))
        cx, cy, r = fw - 26, 22, 8
        if selected:
            d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=BRAND)
            d.line((cx - 4, cy, cx - 1, cy + 3, cx + 4, cy - 3), fill=WHITE, width=2)
        else:
            d.ellipse((cx - r, cy - r, cx + r, cy + r), outline=(200, 200, 200), width=1)
    return strip(8, fw, h, draw)


def body(w, h, band=46, title="Lumetta卸载"):
    img = canvas(w, h, WHITE + (255,))
    title_band(img, band, title)
    return img


def main_background(w, h):
    img = canvas(w, h, (244, 247, 252, 255))
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, w - 1, 160), fill=BRAND)
    logo(d, 20, 14, 24)
    d.text((52, 16), "Lumetta卸载", font=font(15), fill=WHITE)
    logo(d, 40, 78, 48)
    d.rectangle((0, h - 66, w - 1, h - 1), fill=WHITE)
    d.line((0, h - 66, w - 1, h - 66), fill=LINE)
    return img


def success_icon(w, h, colour):
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    s = min(w, h) - 4
    x, y = (w - s) // 2, (h - s) // 2
    d.ellipse((x, y, x + s, y + s), fill=colour)
    d.line((x + s * 0.27, y + s * 0.52, x + s * 0.44, y + s * 0.68, x + s * 0.74, y + s * 0.36), fill=WHITE,
           width=max(3, s // 12))
    return img


def field_box(d, box, label):
    d.rounded_rectangle(box, radius=4, fill=WHITE, outline=(210, 214, 220))
    d.text((box[0] - 92, box[1] + 4), label, font=font(13), fill=(85, 85, 85))


def contact_body(w, h):
    img = canvas(w, h, WHITE + (255,))
    d = ImageDraw.Draw(img)
    d.text((40, 30), "很抱歉给您带来不便", font=font(18), fill=(51, 51, 51))
    d.text((40, 62), "请留下联系方式，客服会尽快与您联系解决动态壁纸无法使用的问题", font=font(12), fill=GREY_TEXT)
    d.text((40, 84), "客服QQ群：6021 3388    工作时间：9:00-18:00", font=font(12), fill=GREY_TEXT)
    for (top, label) in ((160, "手机号码："), (220, "微信号："), (280, "QQ号："), (340, "电子邮箱：")):
        field_box(d, (170, top, 400, top + 25), label)
    d.text((170, 312 + 78), "至少填写一项，我们承诺不会泄露您的信息", font=font(11), fill=(170, 170, 170))
    return img


def phone_body(w, h):
    img = canvas(w, h, WHITE + (255,))
    d = ImageDraw.Draw(img)
    d.text((40, 30), "绑定手机号，领取免费壁纸豆", font=font(18), fill=(51, 51, 51))
    d.text((40, 62), "绑定后可找回丢失的壁纸豆，并额外获得 100 壁纸豆", font=font(12), fill=GREY_TEXT)
    field_box(d, (150, 130, 400, 160), "手机号码：")
    field_box(d, (150, 185, 300, 215), "验证码：")
    d.rounded_rectangle((310, 185, 400, 215), radius=4, fill=(242, 247, 255), outline=BRAND)
    centred_text(d, (310, 185, 400, 215), "获取验证码", 12, BRAND)
    return img


def card(w, h):
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((0, 0, w - 1, h - 1), radius=10, fill=WHITE, outline=LINE)
    d.text((30, 28), "您的账号已绑定", font=font(18), fill=(51, 51, 51))
    d.text((30, 64), "壁纸豆会保存在账号中，重新登录即可找回", font=font(12), fill=GREY_TEXT)
    return img


def instructions(w, h):
    img = canvas(w, h, WHITE + (255,))
    d = ImageDraw.Draw(img)
    d.text((10, 6), "找回壁纸豆只需三步：", font=font(15), fill=(51, 51, 51))
    for i, t in enumerate(("打开 Lumetta 主界面", "点击右上角登录您的账号", "在“我的”中查看壁纸豆")):
        y = 46 + i * 56
        d.ellipse((12, y, 40, y + 28), fill=BRAND)
        centred_text(d, (12, y, 40, y + 28), str(i + 1), 14, WHITE)
        d.rounded_rectangle((54, y - 4, w - 12, y + 32), radius=6, fill=(246, 250, 255))
        d.text((66, y + 4), t, font=font(13), fill=(85, 85, 85))
    return img


def progress_back(w, h):
    img = canvas(w, h)
    ImageDraw.Draw(img).rounded_rectangle((0, 0, w - 1, h - 1), radius=h // 2, fill=(230, 234, 240))
    return img


def progress_fill(w, h):
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    for x in range(w):
        t = x / max(1, w - 1)
        c = tuple(int(a + (b - a) * t) for a, b in zip((92, 180, 255), BRAND))
        d.line((x, 0, x, h - 1), fill=c)
    mask = canvas(w, h)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, w - 1, h - 1), radius=h // 2, fill=(0, 0, 0, 255))
    img.putalpha(mask.getchannel("A"))
    return img


def invitation_icon(w, h):
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((6, 4, w - 7, h - 5), radius=6, fill=(255, 196, 76))
    for i in range(3):
        d.line((16, 18 + i * 12, w - 16, 18 + i * 12), fill=WHITE, width=3)
    return img


def message_box_background(w, h):
    img = canvas(w, h, WHITE + (255,))
    d = title_band(img, 50, None)
    d.rectangle((0, 0, w - 1, h - 1), outline=(190, 200, 215))
    return img


def build_product():
    out = {}
    out[237] = button_strip(319, 40, 3, True)
    out[238] = close_strip(54, 18, 3, [(255, 255, 255, 230), WHITE, (200, 220, 255)])
    out[239] = check_strip(144, 18, 8)
    out[240] = check_strip(112, 14, 8)
    out[241] = button_strip(319, 40, 3, False)
    out[242] = button_strip(288, 32, 3, True)
    out[244] = message_box_background(542, 255)
    out[245] = check_strip(160, 20, 8)
    sep = canvas(10, 30)
    ImageDraw.Draw(sep).line((5, 0, 5, 29), fill=LINE)
    out[246] = sep
    out[247] = progress_back(489, 23)
    out[248] = progress_fill(489, 23)
    out[252] = invitation_icon(60, 60)
    out[300] = body(542, 360)
    out[301] = close_strip(54, 18, 3, [(255, 255, 255, 230), WHITE, (200, 220, 255)])
    out[302] = minimise_strip(60, 6, 3)
    out[304] = button_strip(889, 41, 3, True)
    out[305] = main_background(542, 468)
    out[306] = main_background(542, 380)
    out[307] = button_strip(288, 32, 3, False)
    for rid, (title, desc) in REASONS.items():
        out[rid] = reason_tile(1600, 108, title, desc)
    out[312] = success_icon(76, 76, (82, 196, 26))
    out[313] = card(404, 264)
    out[314] = canvas(543, 416, (0, 0, 0, 128))
    out[315] = instructions(479, 223)
    out[316] = close_strip(69, 23, 3, [(153, 153, 153), (102, 102, 102), (51, 51, 51)])
    out[319] = phone_body(540, 341)
    out[320] = success_icon(96, 96, BRAND)
    out[321] = success_icon(85, 80, (255, 160, 40))
    out[322] = contact_body(540, 463)
    out[323] = button_strip(288, 32, 3, True)
    return out


def build_test_strips():
    """Pictures whose pixels the unit tests know exactly."""
    out = {}
    # Three 10x10 frames: red, green, blue.
    s = canvas(30, 10)
    for i, c in enumerate([(255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)]):
        ImageDraw.Draw(s).rectangle((i * 10, 0, i * 10 + 9, 9), fill=c)
    out["strip3"] = s
    # 9x9 nine-grid: a 3x3 block per slice, each its own colour.
    g = canvas(9, 9)
    colours = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (255, 0, 255), (0, 255, 255),
               (128, 0, 0), (0, 128, 0), (0, 0, 128)]
    for r in range(3):
        for c in range(3):
            ImageDraw.Draw(g).rectangle((c * 3, r * 3, c * 3 + 2, r * 3 + 2), fill=colours[r * 3 + c] + (255,))
    out["grid9"] = g
    return out


def contact_sheet(images, path):
    cols_w, pad = 1640, 10
    rows, x, y, row_h = [], pad, pad + 20, 0
    placed = []
    for rid, img in sorted(images.items(), key=lambda kv: str(kv[0])):
        w, h = img.size
        if x + w + pad > cols_w:
            x, y, row_h = pad, y + row_h + 30, 0
        placed.append((rid, img, x, y))
        x += w + pad
        row_h = max(row_h, h)
    sheet = Image.new("RGB", (cols_w, y + row_h + pad), (90, 90, 90))
    checker = Image.new("RGB", (16, 16), (200, 200, 200))
    ImageDraw.Draw(checker).rectangle((0, 0, 7, 7), fill=(240, 240, 240))
    ImageDraw.Draw(checker).rectangle((8, 8, 15, 15), fill=(240, 240, 240))
    d = ImageDraw.Draw(sheet)
    for rid, img, px, py in placed:
        bg = Image.new("RGB", img.size)
        for cx in range(0, img.width, 16):
            for cy in range(0, img.height, 16):
                bg.paste(checker, (cx, cy))
        bg.paste(img, (0, 0), img)
        sheet.paste(bg, (px, py))
        w, h, f = TABLE.get(rid, (img.width, img.height, 1)) if isinstance(rid, int) else (img.width, img.height, 1)
        d.text((px, py - 16), f"{rid}  {w}x{h}  {f} frame(s)", font=font(11), fill=WHITE)
        for i in range(1, f):
            fx = px + i * (w // f)
            d.line((fx, py, fx, py + h - 1), fill=(255, 0, 0))
    sheet.save(path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sheet", help="also write a contact sheet of every picture to this PNG")
    args = ap.parse_args()
    images = build_product()
    for rid, img in images.items():
        w, h, _ = TABLE[rid]
        assert img.size == (w, h), (rid, img.size)
        img.save(HERE / f"{rid}.png", optimize=True)
    test_dir = REPO / "tests" / "unit" / "layerui" / "data"
    test_dir.mkdir(parents=True, exist_ok=True)
    for name, img in build_test_strips().items():
        img.save(test_dir / f"{name}.png")
    if args.sheet:
        contact_sheet(images, args.sheet)


if __name__ == "__main__":
    main()
