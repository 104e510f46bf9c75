#!/bin/sh
# Makes the pictures the thumbnail tests decode, with ImageMagick, into the folder given.
# Each has four colour quarters (red, green / blue, white) so that a thumbnail shows whether the
# whole picture was stretched onto it.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
quad() {  # quad WIDTH HEIGHT: the four quarters as an ImageMagick argument list
    w=$(($1 / 2)); h=$(($2 / 2))
    echo "( -size ${w}x${h} xc:red -size ${w}x${h} xc:lime +append )" \
         "( -size ${w}x${h} xc:blue -size ${w}x${h} xc:white +append ) -append +repage -depth 8"
}
# shellcheck disable=SC2046
{
    convert $(quad 400 300) -quality 92 -interlace none quad_400x300.jpg
    convert $(quad 400 300) -quality 92 -interlace JPEG quad_400x300_progressive.jpg
    cp quad_400x300.jpg IMG_0001.JPG
    convert $(quad 40 40) quad_40x40.gif
    convert $(quad 64 48) -type TrueColor BMP3:quad_bmp.bmp
    convert $(quad 64 48) -alpha set -channel A -evaluate set 40% +channel PNG32:quad_alpha.png
    convert $(quad 64 48) PNG8:quad_palette.png
    convert $(quad 64 48) -compress none quad_tiff.tiff
    cp quad_tiff.tiff quad_tif.tif
    # A 3:2 photo and camera previews of 160 x 120: yellow, with black bands as a DCF camera
    # pads them, with grey bands that no camera makes, and a 4:3 one without bands.
    convert $(quad 600 400) -quality 92 quad_600x400.jpg
    convert -size 160x107 xc:yellow -background black -gravity center -extent 160x120 -quality 90 preview_black_bands.jpg
    convert -size 160x107 xc:yellow -background gray50 -gravity center -extent 160x120 -quality 90 preview_grey_bands.jpg
    convert -size 160x120 xc:yellow -quality 90 preview_whole.jpg
}
# Videos that only the system's decoders read: H.264 in MP4 and HEVC in QuickTime, red on the left
# half and blue on the right, 160 x 120, with the movie box first as phones write it.
red_blue="color=c=blue:s=160x120:d=1:r=10,drawbox=x=0:y=0:w=80:h=120:color=red:t=fill"
ffmpeg -loglevel error -y -f lavfi -i "$red_blue" -c:v libx264 -pix_fmt yuv420p -movflags +faststart h264_red_blue.mp4
ffmpeg -loglevel error -y -f lavfi -i "$red_blue" -c:v libx265 -x265-params log-level=error -pix_fmt yuv420p \
    -tag:v hvc1 -movflags +faststart hevc_red_blue.mov
