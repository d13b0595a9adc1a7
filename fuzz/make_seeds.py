#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Writes the seed corpora of the fuzz targets into fuzz/corpus/ from the examples and a few
# hand-made inputs. Run again after changing it; the results are committed. Standard library only.
import pathlib
import shutil
import struct

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
CORPUS = HERE / 'corpus'


def write(folder, name, content):
    path = CORPUS / folder / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content if isinstance(content, bytes) else content.encode('latin-1'))


def markup(loads, root='<TARQO format=2 loadCount=1 fileLength=100>'):
    return root + '\n' + loads + '</TARQO>\n'


def text_load(data, fmt=1, attributes='checkSum=0x00', children=''):
    return (f'<LOAD format={fmt} loadNumber=1 {attributes}>{children}'
            f'<DATA length={data[0]}>{data[1]}</DATA></LOAD>\n')


def tape_seeds():
    for name in ('basic.bml', 'tape.bin'):
        shutil.copy(ROOT / 'examples' / name, CORPUS / 'tape' / name)
    # The screen example, cut to its first rows so that the seed stays small.
    lines = (ROOT / 'examples' / 'screen.bml').read_text(encoding='latin-1').splitlines(True)
    hex_rows = [i for i, line in enumerate(lines) if '<HEX' in line]
    cut = lines[:hex_rows[0] + 4] + lines[hex_rows[-1] + 1:]
    write('tape', 'screen_cut.bml', ''.join(cut))

    write('tape', 'hex.bml', markup(text_load((2, '<HEX address=0000>41 42 </HEX>'),
                                              attributes='checkSum=0xd7',
                                              children='<HEADER headerLength=1.0></HEADER>')))
    write('tape', 'hex_char.bml', markup(text_load(
        (4, '<HEX address=0010 count=4>3c 3e 0a 41 <CHAR><>\nA</CHAR></HEX>'))))
    write('tape', 'hex_newline.bml', markup(text_load((3, '<HEX address=1ffe>ff\n01 7 </HEX>'))))
    write('tape', 'lengths.bml', markup(
        '<NAME>LENGTHS</NAME>' + text_load((1, '<HEX address=0>00</HEX>'),
                                            attributes='headerLength=0.5 footerLength=0.1 '
                                                       'gapLength=0.2 checkSum=12',
                                            children='<HEADER headerLength=0.3></HEADER>'
                                                     '<FOOTER footerLength=0.2></FOOTER>'
                                                     '<GAP gapLength=0.1></GAP>')))
    write('tape', 'huge_header.bml', markup(text_load((0, ''), attributes='headerLength=1e9')))
    write('tape', 'inf_gap.bml', markup(text_load((0, ''), children='<GAP gapLength=inf></GAP>')))
    # An exponent beyond a double's range: an infinite gap, which must write back as it read.
    write('tape', 'endless_gap.bml',
          markup(text_load((0, ''), children='<GAP gapLength=0.001e90000></GAP>')))
    write('tape', 'nan_footer.bml', markup(text_load(
        (1, '<HEX address=0>1</HEX>'), children='<FOOTER footerLength=nan></FOOTER>')))
    write('tape', 'negative.bml', markup(text_load((-5, ''), attributes='headerLength=-2')))
    basic = ('<BASIC><LINE number=10>PRINT "A<B";A<B</LINE>'
             '<LINE number=20>REM |up_arrow||200|<BR>\n</BR>X</LINE>'
             '<LINE number=65535>GOTO 10</LINE></BASIC>')
    write('tape', 'basic_lines.bml', markup(text_load((40, basic))))
    write('tape', 'screen_basic.bml', markup(text_load((20, basic), fmt=2)))
    write('tape', 'two_loads.bml', markup(
        text_load((2, '<HEX address=0>1 2</HEX>')) +
        text_load((1, '<HEX address=0>3</HEX>'), fmt=2),
        root='<TARQO format=2 loadCount=2>'))
    write('tape', 'full_load.bml', markup(text_load((8192, '<HEX address=1fff>aa</HEX>'))))
    # Binary root header and a load of format 3, lengths as seconds and hundredths.
    binary_load = (b'<LOAD format=3>\x07<HEADER>\x00\x20</HEADER>'
                   b'<DATA>\x03\x00\x41\x42\x43\x00</DATA>'
                   b'<FOOTER>\x00\x05</FOOTER><GAP>\x00\x01</GAP></LOAD>')
    write('tape', 'binary.bin', b'<TARQO format=1>\x01\x40\x00\x00\x00' + binary_load + b'</TARQO>')
    write('tape', 'binary_odd.bin', b'<TARQO format=1>\x02\x00\x00\x00\x00' + binary_load +
          b'<LOAD format=3>\x01<DATA>\x01\x00\xff\x00</DATA></LOAD></TARQO>')


def bmp(width, height, bits, palette=b'', pixels=None, compression=0, info=40):
    row = ((width * bits + 31) // 32) * 4
    offset = 54 + len(palette)
    if pixels is None:
        pixels = bytes((i * 37) & 0xFF for i in range(row * height))
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    header += struct.pack('<IiiHHIIiiII', info, width, height, 1, bits, compression,
                          len(pixels), 2835, 2835, 0, 0)
    return header + palette + pixels


def image_seeds():
    # The first byte picks the kind: 0 bmp, 1 pgm, 2 pcd as given, 3 pcd repeated to a length.
    fixtures = ROOT / 'tests' / 'fixtures'
    for name in ('screen_1bit.bmp', 'grey_8bit.bmp', 'colour_24bit.bmp'):
        if (fixtures / name).exists():
            write('image', name, b'\x00' + (fixtures / name).read_bytes())
    if (fixtures / 'grey.pgm').exists():
        write('image', 'grey.pgm', b'\x01' + (fixtures / 'grey.pgm').read_bytes())
    grey = b''.join(struct.pack('<BBBB', i, i, i, 0) for i in range(256))
    write('image', 'tiny_8bit.bmp', b'\x00' + bmp(3, 2, 8, grey[:16]))
    write('image', 'tiny_1bit.bmp', b'\x04' + bmp(9, 3, 1, b'\0\0\0\0\xff\xff\xff\0'))
    write('image', 'tiny_24bit.bmp', b'\x08' + bmp(2, 2, 24))
    write('image', 'tiny_4bit.bmp', b'\x00' + bmp(4, 2, 4, grey[:64]))
    write('image', 'negative_height.bmp', b'\x00' + bmp(4, -2, 8, grey[:16], pixels=b'\1' * 8))
    write('image', 'rle.bmp', b'\x00' + bmp(4, 2, 8, compression=1))
    write('image', 'os2.bmp', b'\x00' + bmp(4, 2, 8, info=12))
    write('image', 'short.bmp', b'\x00' + bmp(16, 16, 8)[:300])
    write('image', 'comment.pgm', b'\x01P5\n# a comment\n# another\n4 3\n255\n' + bytes(range(12)))
    write('image', 'ascii.pgm', b'\x01P2\n2 2\n255\n0 1 2 3\n')
    write('image', 'deep.pgm', b'\x01P5 2 2 65535\n' + bytes(8))
    write('image', 'hex_size.pgm', b'\x01P5\t0x3 010\r255\n' + bytes(24))
    write('image', 'small.pcd', b'\x02' + bytes(range(256)) * 4)
    write('image', 'pcd_192.pcd', b'\x03' + bytes(range(0, 256, 3)))
    write('image', 'pcd_384.pcd', b'\x3b' + bytes(range(7, 256, 5)))
    write('image', 'pcd_other.pcd', b'\x53' + b'\x80\x10\xf0')


def basic_line_seeds():
    lines = [l.split('>', 1)[1].rsplit('</LINE>', 1)[0]
             for l in (ROOT / 'examples' / 'basic.bml').read_text().splitlines() if '<LINE' in l]
    # Two bytes of the first line number, a byte that may start the program near the end of
    # the data (0xC0 and above), then line texts separated by line feeds.
    write('basic_line', 'example', struct.pack('<H', 10) + b'\0' + '\n'.join(lines).encode())
    write('basic_line', 'keywords', b'\x0a\x00\x00PRINT "PRINT";:GOTO 10:IF A THEN STOP\nREM ||')
    write('basic_line', 'bars', b'\xff\xff\x00|200||0||31||up_arrow|"|right_arrow|"|unknown|')
    write('basic_line', 'quotes', b'\x01\x00\x00A$="\nB"C"D""\n"')
    write('basic_line', 'long', b'\x00\x80\x00' + b'FOR I=1 TO 9:NEXT I:' * 50)
    write('basic_line', 'bytes', b'\x10\x27\x00' + bytes(range(1, 256)))
    write('basic_line', 'near_end', b'\x64\x00\xf0PRINT "AB"\nGOTO 100\nREM ' + b'X' * 40)
    write('basic_line', 'at_end', b'\x64\x00\xffA\nB')

if __name__ == '__main__':
    if CORPUS.exists():
        shutil.rmtree(CORPUS)
    (CORPUS / 'tape').mkdir(parents=True)
    tape_seeds()
    image_seeds()
    basic_line_seeds()
