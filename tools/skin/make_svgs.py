#!/usr/bin/env python3
"""Writes the SVG sources of the skin into res/skin, one file per bitmap resource.

The drawings share one palette and a few shapes (rounded buttons, caption glyphs, round icons),
so the look is changed here in one place; tools/render_skin.sh turns the SVGs into the 24-bit
bitmaps that the resource script compiles. It also names every bitmap (res/skin_ids.h) and lists
them for the resource script (res/skin_bitmaps.rc). Run it again after editing, then render."""
import math
import os

OUT = os.path.join(os.path.dirname(__file__), '..', '..', 'res', 'skin')

CAPTION = '#8bb8f1'   # caption band, dialog button band
LIGHT = '#e2f0fd'     # message body, bottom bands
BORDER = '#425a8a'    # outer frame border
MID = '#5b87c9'       # body text blue
DEEP = '#4171b8'      # headings
WHITE = '#ffffff'
PANEL = '#f5fafd'     # the home page's text band, the background its text is drawn on
FONT = "font-family='DejaVu Sans' font-weight='bold'"

files = {}


def svg(w, h, body, bg):
    return (f"<svg xmlns='http://www.w3.org/2000/svg' width='{w}' height='{h}' viewBox='0 0 {w} {h}'>"
            f"<rect width='{w}' height='{h}' fill='{bg}'/>{body}</svg>\n")


def put(number, name, w, h, body, bg):
    files[f'{number}_{name}.svg'] = svg(w, h, body, bg)


def grad(gid, top, bottom):
    return (f"<defs><linearGradient id='{gid}' x1='0' y1='0' x2='0' y2='1'>"
            f"<stop offset='0' stop-color='{top}'/><stop offset='1' stop-color='{bottom}'/>"
            f"</linearGradient></defs>")


# Push buttons: a rounded body; hover is lighter, pressed darker and one pixel lower.
BUTTON_LOOKS = {
    'normal': ('#6b9be0', '#4a7bc6', '#3d68ab'),
    'hover': ('#82aff0', '#5b8cd6', '#4675bb'),
    'pressed': ('#3f6db3', '#4f80c8', '#34598f'),
}


def push_button(w, h, look, bg, radius=5, extra=''):
    top, bottom, edge = BUTTON_LOOKS[look]
    dy = 1 if look == 'pressed' else 0
    shine = '' if look == 'pressed' else (
        f"<rect x='2' y='1.5' width='{w - 4}' height='{h / 2 - 1}' rx='{radius - 1}' fill='#ffffff' opacity='0.14'/>")
    return (grad('g', top, bottom) +
            f"<rect x='0.5' y='{0.5 + dy}' width='{w - 1}' height='{h - 1 - dy}' rx='{radius}' fill='url(#g)' stroke='{edge}'/>"
            + shine + extra)


def button_set(numbers, name, w, h, bg, order=('normal', 'pressed', 'hover'), extra=lambda look: ''):
    for number, look in zip(numbers, order):
        put(number, f'{name}_{look}', w, h, push_button(w, h, look, bg, extra=extra(look)), bg)


# Caption buttons on the caption band: white glyphs, a soft plate under the pointer.
def caption_button(w, h, glyph, look, danger=False):
    plate = ''
    if look == 'hover':
        plate = f"<rect x='1' y='1' width='{w - 2}' height='{h - 2}' rx='4' fill='{'#e36f6f' if danger else '#a9cbf6'}'/>"
    elif look == 'pressed':
        plate = f"<rect x='1' y='1' width='{w - 2}' height='{h - 2}' rx='4' fill='{'#c04e4e' if danger else '#6d9ad8'}'/>"
    return plate + glyph


def glyph_close(w, h):
    cx, cy = w / 2, h / 2
    return (f"<path d='M{cx - 4.5},{cy - 4.5} L{cx + 4.5},{cy + 4.5} M{cx + 4.5},{cy - 4.5} L{cx - 4.5},{cy + 4.5}' "
            f"stroke='#ffffff' stroke-width='2' stroke-linecap='round'/>")


def glyph_minimise(w, h):
    cx, cy = w / 2, h / 2
    return f"<path d='M{cx - 5},{cy + 4} L{cx + 5},{cy + 4}' stroke='#ffffff' stroke-width='2' stroke-linecap='round'/>"


def glyph_menu(w, h):
    cx, cy = w / 2, h / 2
    return (f"<path d='M{cx - 5},{cy - 4} L{cx + 5},{cy - 4} M{cx - 5},{cy} L{cx + 5},{cy} M{cx - 5},{cy + 4} L{cx + 5},{cy + 4}' "
            f"stroke='#ffffff' stroke-width='1.8' stroke-linecap='round'/>")


for numbers, name, glyph, danger in (((101, 102, 103), 'menu', glyph_menu, False),
                                     ((104, 105, 106), 'minimise', glyph_minimise, False),
                                     ((113, 114, 115), 'close', glyph_close, True)):
    for number, look in zip(numbers, ('normal', 'hover', 'pressed')):
        put(number, f'caption_{name}_{look}', 30, 21, caption_button(30, 21, glyph(30, 21), look, danger), CAPTION)
for number, look in zip((136, 137, 138), ('normal', 'hover', 'pressed')):
    put(number, f'dialog_close_{look}', 31, 21, caption_button(31, 21, glyph_close(31, 21), look, True), CAPTION)

# Round icons of the message box (48 x 48 on the light body).
def round_icon(colour, dark, mark):
    return (grad('g', colour, dark) +
            "<circle cx='24' cy='24' r='21' fill='url(#g)'/>"
            "<circle cx='24' cy='24' r='21' fill='none' stroke='#ffffff' stroke-opacity='0.5' stroke-width='1.5'/>" + mark)


put(129, 'icon_error', 48, 48, round_icon('#ef7b73', '#cf4a44',
    "<path d='M16,16 L32,32 M32,16 L16,32' stroke='#ffffff' stroke-width='4.5' stroke-linecap='round'/>"), LIGHT)
put(130, 'icon_warning', 48, 48, grad('g', '#ffc35a', '#f29a1f') +
    "<path d='M24,4 L45,42 L3,42 Z' fill='url(#g)' stroke='#d9831a' stroke-width='1.5' stroke-linejoin='round'/>"
    "<path d='M24,16 L24,29' stroke='#ffffff' stroke-width='4.5' stroke-linecap='round'/>"
    "<circle cx='24' cy='36' r='2.7' fill='#ffffff'/>", LIGHT)
put(131, 'icon_notice', 48, 48, round_icon('#74a6ec', '#4171b8',
    "<circle cx='24' cy='14.5' r='3' fill='#ffffff'/>"
    "<path d='M24,21 L24,35' stroke='#ffffff' stroke-width='5' stroke-linecap='round'/>"), LIGHT)
put(132, 'icon_question', 48, 48, round_icon('#74a6ec', '#4171b8',
    "<path d='M17.5,18.5 C17.5,9.5 31,9.5 31,18 C31,23.5 24.5,23.5 24.5,29' fill='none' stroke='#ffffff' "
    "stroke-width='4.2' stroke-linecap='round'/><circle cx='24.5' cy='36' r='2.8' fill='#ffffff'/>"), LIGHT)

# Push buttons. The message box list is normal, hover, pressed by number; the pages give
# normal, pressed, hover.
button_set((133, 134, 135), 'message_button', 70, 24, CAPTION, order=('normal', 'hover', 'pressed'))
button_set((149, 150, 151), 'about_button', 130, 24, CAPTION, order=('normal', 'hover', 'pressed'))
button_set((173, 174, 175), 'small_button', 100, 24, WHITE)
button_set((176, 177, 178), 'page_button', 100, 30, LIGHT)
button_set((184, 185, 186), 'filter_button', 100, 30, WHITE)
button_set((190, 191, 192), 'scan_button', 90, 30, WHITE)


def recover_mark(look):
    dy = 1 if look == 'pressed' else 0
    return (f"<g transform='translate(0,{dy})' stroke='#ffffff' stroke-width='2.2' fill='none' stroke-linecap='round' "
            "stroke-linejoin='round'><path d='M20,9 L20,24 M14,18 L20,24 L26,18'/><path d='M10,24 L10,30 L30,30 L30,24'/></g>")


button_set((187, 188, 189), 'recover_button', 140, 40, WHITE, extra=recover_mark)

# Large home tiles, 320 x 140: a picture at the left, room for the caption on the right.
def tile(look, picture):
    top, bottom, edge = BUTTON_LOOKS[look]
    dy = 2 if look == 'pressed' else 0
    return (grad('g', top, bottom) +
            f"<rect x='1' y='{1 + dy}' width='318' height='{137 - dy}' rx='12' fill='url(#g)' stroke='{edge}' stroke-width='1.5'/>"
            f"<circle cx='70' cy='{70 + dy}' r='44' fill='#ffffff' opacity='0.16'/>"
            f"<g transform='translate(0,{dy})'>{picture}</g>")


START_PICTURE = ("<rect x='42' y='40' width='40' height='54' rx='5' fill='#ffffff'/>"
                 "<path d='M42,52 L54,40' stroke='" + MID + "' stroke-width='0'/>"
                 "<rect x='49' y='48' width='6' height='12' fill='" + MID + "'/><rect x='59' y='48' width='6' height='12' fill='" + MID + "'/>"
                 "<rect x='69' y='48' width='6' height='12' fill='" + MID + "'/>"
                 "<circle cx='80' cy='84' r='15' fill='none' stroke='#ffffff' stroke-width='6'/>"
                 "<path d='M91,95 L104,108' stroke='#ffffff' stroke-width='8' stroke-linecap='round'/>")
RESUME_PICTURE = ("<path d='M34,48 L58,48 L64,56 L104,56 L104,100 L34,100 Z' fill='#ffffff'/>"
                  "<circle cx='70' cy='78' r='14' fill='none' stroke='" + MID + "' stroke-width='4'/>"
                  "<path d='M70,70 L70,79 L77,83' stroke='" + MID + "' stroke-width='3.5' fill='none' stroke-linecap='round'/>")
for numbers, name, picture in (((121, 122, 123), 'home_start', START_PICTURE), ((118, 119, 120), 'home_resume', RESUME_PICTURE)):
    for number, look in zip(numbers, ('normal', 'pressed', 'hover')):
        put(number, f'{name}_{look}', 320, 140, tile(look, picture), WHITE)

# Page background: white with a soft light-blue wash along the top and a pale band along the
# bottom, where the home page writes its text.
put(117, 'page_background', 793, 494,
    grad('g', '#f3f8fe', '#ffffff') + "<rect width='793' height='120' fill='url(#g)'/>"
    "<rect y='430' width='793' height='64' fill='" + PANEL + "'/><rect y='430' width='793' height='1' fill='" + LIGHT + "'/>", WHITE)

# Illustration strip of the home page: a card, photos, a film, a note, all in the palette.
put(124, 'home_strip', 680, 120,
    "<g transform='translate(60,20)'><path d='M0,10 L10,0 L50,0 L50,70 L0,70 Z' fill='" + MID + "'/>"
    "<rect x='14' y='6' width='5' height='12' fill='#ffffff'/><rect x='24' y='6' width='5' height='12' fill='#ffffff'/>"
    "<rect x='34' y='6' width='5' height='12' fill='#ffffff'/></g>"
    "<path d='M140,55 L200,55' stroke='" + CAPTION + "' stroke-width='3' stroke-dasharray='6 6'/>"
    "<g transform='translate(230,14)'><rect width='80' height='62' rx='5' fill='#ffffff' stroke='" + CAPTION + "' stroke-width='3'/>"
    "<path d='M8,54 L30,28 L46,44 L56,34 L72,54 Z' fill='" + CAPTION + "'/><circle cx='60' cy='18' r='7' fill='#ffc35a'/></g>"
    "<g transform='translate(350,14)'><rect width='80' height='62' rx='5' fill='" + DEEP + "'/>"
    + ''.join(f"<rect x='{6 + i * 14}' y='5' width='8' height='6' rx='1' fill='#ffffff'/><rect x='{6 + i * 14}' y='51' width='8' height='6' rx='1' fill='#ffffff'/>" for i in range(5)) +
    "<path d='M33,22 L51,31 L33,40 Z' fill='#ffffff'/></g>"
    "<g transform='translate(470,14)'><rect width='80' height='62' rx='5' fill='#ffffff' stroke='" + CAPTION + "' stroke-width='3'/>"
    "<path d='M34,46 L34,16 L56,12 L56,40' stroke='" + DEEP + "' stroke-width='4' fill='none'/>"
    "<circle cx='29' cy='46' r='7' fill='" + DEEP + "'/><circle cx='51' cy='41' r='7' fill='" + DEEP + "'/></g>"
    "<g transform='translate(590,14)'><rect width='80' height='62' rx='5' fill='" + LIGHT + "' stroke='" + CAPTION + "' stroke-width='3'/>"
    "<text x='40' y='40' text-anchor='middle' font-size='18' fill='" + DEEP + "' " + FONT + ">RAW</text></g>", WHITE)


# The mark: a small mosaic of tiles, the name below.
def mosaic(x, y, size, gap):
    colours = ['#ffffff', '#d6e7fc', '#5b87c9', '#a9cbf6', '#ffffff', '#4171b8', '#d6e7fc', '#5b87c9', '#ffffff']
    out = ''
    for i, colour in enumerate(colours):
        cx, cy = x + (i % 3) * (size + gap), y + (i // 3) * (size + gap)
        out += f"<rect x='{cx}' y='{cy}' width='{size}' height='{size}' rx='{size / 5:.1f}' fill='{colour}'/>"
    return out


put(167, 'logo', 90, 68, mosaic(27, 4, 10, 3) + "<text x='45' y='60' text-anchor='middle' font-size='13' "
    "letter-spacing='1' fill='#ffffff' " + FONT + ">TESSERA</text>", CAPTION)
put(147, 'emblem', 64, 64, "<rect x='2' y='2' width='60' height='60' rx='12' fill='" + DEEP + "'/>" + mosaic(12, 12, 11, 4),
    CAPTION)
# The top band is the caption colour with a faint light edge, so the caption buttons (drawn on
# the flat colour) sit on it without a seam.
put(168, 'caption_band', 5, 24, "<rect y='4' width='5' height='1' fill='#a3c7f5'/>", CAPTION)
put(148, 'about_strip', 460, 2, "<rect width='460' height='1' fill='" + BORDER + "' opacity='0.5'/>"
    "<rect y='1' width='460' height='1' fill='#ffffff' opacity='0.7'/>", CAPTION)


# Step bar, 580 x 21: a track with three numbered marks, each just left of the place where the
# caption writes its step label (x 110, 250 and 420 in the window, the bar starting at x 20).
# The part reached is white.
def steps(reached):
    marks = [74, 214, 384]
    out = "<rect x='0.5' y='6.5' width='579' height='8' rx='4' fill='#7aa7e3'/>"
    if reached:
        end = marks[reached] if reached < 3 else 579.5
        out += f"<rect x='0.5' y='6.5' width='{end - 0.5}' height='8' rx='4' fill='#ffffff'/>"
    for i, cx in enumerate(marks):
        done = i < reached
        out += (f"<circle cx='{cx}' cy='10.5' r='9.5' fill='{'#ffffff' if done else '#7aa7e3'}' stroke='{'#4171b8' if done else '#9fc3f3'}'/>"
                f"<text x='{cx}' y='14.5' text-anchor='middle' font-size='11' fill='{DEEP if done else '#ffffff'}' {FONT}>{i + 1}</text>")
    return out


for step in range(4):
    put(169 + step, f'steps_{step}', 580, 21, steps(step), CAPTION)

put(179, 'bullet', 5, 5, "<circle cx='2.5' cy='2.5' r='2.3' fill='" + MID + "'/>", WHITE)

PHOTO_16 = ("<rect x='1.5' y='3.5' width='13' height='10' rx='1.5' fill='#ffffff' stroke='" + DEEP + "'/>"
            "<path d='M3,12 L6.5,7.5 L9,10 L10.5,8.5 L13,12 Z' fill='" + MID + "'/><circle cx='11' cy='6' r='1.3' fill='#f2a23a'/>")
VIDEO_16 = ("<rect x='1' y='3' width='14' height='10' rx='1.5' fill='" + DEEP + "'/>"
            "<rect x='2.5' y='4' width='2' height='1.5' fill='#ffffff'/><rect x='6.5' y='4' width='2' height='1.5' fill='#ffffff'/>"
            "<rect x='10.5' y='4' width='2' height='1.5' fill='#ffffff'/><rect x='2.5' y='10.5' width='2' height='1.5' fill='#ffffff'/>"
            "<rect x='6.5' y='10.5' width='2' height='1.5' fill='#ffffff'/><rect x='10.5' y='10.5' width='2' height='1.5' fill='#ffffff'/>"
            "<path d='M6.5,6.3 L10,8 L6.5,9.7 Z' fill='#ffffff'/>")
AUDIO_16 = ("<path d='M6,12 L6,3.5 L13,2 L13,10.5' stroke='" + DEEP + "' stroke-width='1.6' fill='none'/>"
            "<circle cx='4.5' cy='12' r='2.4' fill='" + DEEP + "'/><circle cx='11.5' cy='10.5' r='2.4' fill='" + DEEP + "'/>")
put(180, 'kind_video', 16, 16, VIDEO_16, WHITE)
put(181, 'kind_photo', 16, 16, PHOTO_16, WHITE)
put(182, 'kind_audio', 16, 16, AUDIO_16, WHITE)
put(193, 'heading_info', 16, 16, "<circle cx='8' cy='8' r='7' fill='" + DEEP + "'/><circle cx='8' cy='4.6' r='1.2' fill='#ffffff'/>"
    "<path d='M8,7 L8,12' stroke='#ffffff' stroke-width='2' stroke-linecap='round'/>", WHITE)
put(199, 'heading_selection', 16, 16, "<rect x='1.5' y='1.5' width='13' height='13' rx='2.5' fill='" + DEEP + "'/>"
    "<path d='M4.5,8.5 L7,11 L11.5,5' stroke='#ffffff' stroke-width='2' fill='none' stroke-linecap='round' stroke-linejoin='round'/>", WHITE)
put(197, 'scan_header', 48, 48, "<circle cx='24' cy='24' r='22' fill='" + LIGHT + "'/>"
    "<path d='M12,14 L18,8 L34,8 L34,38 L12,38 Z' fill='" + MID + "'/>"
    "<rect x='19' y='11' width='3' height='7' fill='#ffffff'/><rect x='25' y='11' width='3' height='7' fill='#ffffff'/>"
    "<circle cx='30' cy='30' r='7.5' fill='#ffffff' stroke='" + DEEP + "' stroke-width='3'/>"
    "<path d='M35.5,35.5 L42,42' stroke='" + DEEP + "' stroke-width='4' stroke-linecap='round'/>", WHITE)
put(202, 'progress_pattern', 8, 15, "<rect width='8' height='15' fill='#5b8fd6'/>"
    "<path d='M-4,15 L4,0 M4,15 L12,0' stroke='#79a8ea' stroke-width='3'/>"
    "<rect width='8' height='5' fill='#ffffff' opacity='0.15'/>", WHITE)


# Placeholders of the grid, 117 x 81: a light card with a picture and a word.
def placeholder(picture, word):
    return ("<rect x='0.5' y='0.5' width='116' height='80' rx='6' fill='" + LIGHT + "' stroke='" + CAPTION + "'/>"
            + picture + f"<text x='58.5' y='72' text-anchor='middle' font-size='10' letter-spacing='1' fill='{DEEP}' {FONT}>{word}</text>")


put(203, 'placeholder_photo', 117, 81, placeholder(
    "<rect x='36' y='10' width='45' height='40' rx='3' fill='#ffffff' stroke='" + MID + "' stroke-width='2'/>"
    "<path d='M40,46 L52,30 L61,40 L67,34 L77,46 Z' fill='" + CAPTION + "'/><circle cx='70' cy='20' r='4' fill='#f2a23a'/>", 'PHOTO'), WHITE)
put(205, 'placeholder_video', 117, 81, placeholder(
    "<rect x='31' y='11' width='55' height='40' rx='3' fill='" + DEEP + "'/>"
    + ''.join(f"<rect x='{35 + i * 10}' y='14' width='6' height='5' rx='1' fill='#ffffff'/><rect x='{35 + i * 10}' y='43' width='6' height='5' rx='1' fill='#ffffff'/>" for i in range(5)) +
    "<path d='M53,24 L66,31 L53,38 Z' fill='#ffffff'/>", 'VIDEO'), WHITE)
put(204, 'placeholder_audio', 117, 81, placeholder(
    "<path d='M40,24 L48,24 L60,13 L60,49 L48,38 L40,38 Z' fill='" + DEEP + "'/>"
    "<path d='M66,22 Q72,31 66,40 M71,17 Q81,31 71,45' stroke='" + MID + "' stroke-width='3' fill='none' stroke-linecap='round'/>", 'SOUND'), WHITE)
put(218, 'placeholder_raw', 117, 81, placeholder(
    "<path d='M35,20 L47,20 L51,14 L66,14 L70,20 L82,20 L82,50 L35,50 Z' fill='" + DEEP + "'/>"
    "<circle cx='58.5' cy='35' r='10' fill='#ffffff'/><circle cx='58.5' cy='35' r='6' fill='" + MID + "'/>", 'RAW IMAGE'), WHITE)

put(206, 'tick_empty', 14, 14, "<rect x='0.5' y='0.5' width='13' height='13' rx='2.5' fill='#ffffff' stroke='" + MID + "'/>", WHITE)
put(207, 'tick_done', 14, 14, "<rect x='0.5' y='0.5' width='13' height='13' rx='2.5' fill='" + DEEP + "' stroke='" + DEEP + "'/>"
    "<path d='M3.5,7.2 L6,9.8 L10.7,4.2' stroke='#ffffff' stroke-width='2' fill='none' stroke-linecap='round' stroke-linejoin='round'/>", WHITE)

# Spinner: eight dots, the bright one moving clockwise one place per frame. The ring is kept
# within the middle 34 pixels: the home page draws the frame centred on its client area, where
# only the 40-pixel gap between its two tiles shows the frame's upper half.
for frame in range(8):
    dots = ''
    for i in range(8):
        age = (frame - i) % 8
        angle = math.radians(i * 45 - 90)
        x, y = 32 + 12 * math.cos(angle), 32 + 12 * math.sin(angle)
        opacity = [1, 0.75, 0.55, 0.4, 0.3, 0.22, 0.16, 0.12][age]
        dots += f"<circle cx='{x:.2f}' cy='{y:.2f}' r='{4.2 - age * 0.25:.2f}' fill='{DEEP}' fill-opacity='{opacity}'/>"
    put(208 + frame, f'spinner_{frame}', 64, 64, dots, WHITE)

os.makedirs(OUT, exist_ok=True)
for name, text in files.items():
    with open(os.path.join(OUT, name), 'w') as f:
        f.write(text)

# Every drawing NNN_name.svg is the bitmap resource NNN, named IDB_NAME in skin_ids.h for the
# resource script and the code alike.
RES = os.path.dirname(OUT)
bitmaps = sorted((int(name.split('_', 1)[0]), 'IDB_' + name.split('_', 1)[1][:-4].upper()) for name in files)
with open(os.path.join(RES, 'skin_ids.h'), 'w') as f:
    f.write('// The skin\'s bitmap resources by name, written by tools/skin/make_svgs.py from the names of\n'
            '// their drawings in res/skin (NNN_name.svg is IDB_NAME, number NNN): do not edit.\n'
            '#pragma once\n\n')
    width = max(len(macro) for _, macro in bitmaps)
    f.writelines(f'#define {macro:<{width}} {number}\n' for number, macro in bitmaps)
with open(os.path.join(RES, 'skin_bitmaps.rc'), 'w') as f:
    f.write('// The skin\'s bitmaps, written by tools/skin/make_svgs.py: do not edit.\n')
    f.writelines(f'{macro} BITMAP "bitmaps/{number}.bmp"\n' for number, macro in bitmaps)
print(f'{len(files)} drawings written to res/skin, their names to res/skin_ids.h and res/skin_bitmaps.rc')
