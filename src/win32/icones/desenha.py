#!/usr/bin/env python3
"""Draws the Windows window's icons: the program's icon and the buttons' glyphs.

    python3 src/win32/icones/desenha.py      # rewrites the .ico files beside this script

It also draws the program's icon as the PNG files of the Linux desktop
(pacote/linux/icones/tolk-zav-<side>.png), from the same shapes.

Each picture is a list of shapes in a unit square, filled in order over a
transparent ground and sampled 8 x 8 times per pixel, so that every size is
drawn, not scaled. An .ico holds one 32-bit image (BGRA, rows bottom-up, with
the 1-bit mask after it) per size. The .ico files are committed; run this only
to change a picture.
"""

import math
import os
import struct
import zlib

AQUI = os.path.dirname(os.path.abspath(__file__))
AMOSTRAS = 8


# --- Shapes: each answers whether a point (x, y) of the unit square is inside.

def poligono(*pontos):
    def dentro(x, y):
        d = False
        n = len(pontos)
        for i in range(n):
            (x1, y1), (x2, y2) = pontos[i], pontos[(i + 1) % n]
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                d = not d
        return d
    return dentro


def retangulo(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circulo(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def traco(largura, *pontos):
    """A polyline of the given width with round ends."""
    def dentro(x, y):
        for (x1, y1), (x2, y2) in zip(pontos, pontos[1:]):
            dx, dy = x2 - x1, y2 - y1
            t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
            if (x - x1 - t * dx) ** 2 + (y - y1 - t * dy) ** 2 <= (largura / 2) ** 2:
                return True
        return False
    return dentro


def arco(cx, cy, r, de, ate, largura, passos=24):
    pontos = [(cx + r * math.cos(math.radians(de + (ate - de) * i / passos)),
               cy - r * math.sin(math.radians(de + (ate - de) * i / passos)))
              for i in range(passos + 1)]
    return traco(largura, *pontos)


def contorno(forma, espessura):
    """The band of `forma` within `espessura` of its edge (sampled)."""
    def dentro(x, y):
        if not forma(x, y):
            return False
        for k in range(8):
            a = k * math.pi / 4
            if not forma(x + espessura * math.cos(a), y + espessura * math.sin(a)):
                return True
        return False
    return dentro


# --- The pictures: (colour RGBA, shape) in painting order.

PRETO = (40, 40, 40, 255)
BRANCO = (255, 255, 255, 255)

def pasta():
    fundo = poligono((0.06, 0.22), (0.38, 0.22), (0.46, 0.32), (0.86, 0.32), (0.86, 0.84),
                     (0.06, 0.84))
    frente = poligono((0.20, 0.46), (0.98, 0.46), (0.84, 0.84), (0.06, 0.84))
    return [((200, 150, 40, 255), fundo), ((120, 80, 10, 255), contorno(fundo, 0.06)),
            ((250, 210, 90, 255), frente), ((120, 80, 10, 255), contorno(frente, 0.06))]


def criticar():
    return [((20, 130, 40, 255), traco(0.20, (0.12, 0.52), (0.40, 0.80), (0.90, 0.20)))]


def ajuda():
    return [((30, 90, 190, 255), circulo(0.5, 0.5, 0.47)),
            (BRANCO, arco(0.5, 0.36, 0.17, 160, -90, 0.13)),
            (BRANCO, traco(0.13, (0.5, 0.53), (0.5, 0.62))),
            (BRANCO, circulo(0.5, 0.80, 0.08))]


def exporta():
    disco = poligono((0.08, 0.08), (0.80, 0.08), (0.92, 0.20), (0.92, 0.92), (0.08, 0.92))
    return [((40, 70, 150, 255), disco),
            ((230, 235, 245, 255), retangulo(0.22, 0.08, 0.74, 0.40)),
            ((40, 70, 150, 255), retangulo(0.56, 0.14, 0.68, 0.34)),
            ((190, 195, 205, 255), retangulo(0.24, 0.58, 0.76, 0.92)),
            ((20, 40, 100, 255), contorno(disco, 0.06))]


def fechar():
    batente = retangulo(0.18, 0.06, 0.82, 0.94)
    porta = poligono((0.18, 0.06), (0.62, 0.16), (0.62, 0.98), (0.18, 0.94))
    return [((150, 150, 150, 255), batente), ((60, 60, 60, 255), retangulo(0.26, 0.12, 0.76, 0.94)),
            ((170, 100, 40, 255), porta), ((90, 50, 15, 255), contorno(porta, 0.06)),
            ((240, 210, 80, 255), circulo(0.52, 0.56, 0.05))]


def ocorrencias():
    """Lines of a list under a magnifying glass: the findings, searched."""
    formas = [((110, 110, 110, 255), retangulo(0.04, y, 0.62, y + 0.09))
              for y in (0.08, 0.28, 0.48, 0.68)]
    formas += [(BRANCO, circulo(0.56, 0.52, 0.27)),
               ((30, 90, 190, 255), contorno(circulo(0.56, 0.52, 0.27), 0.09)),
               ((30, 90, 190, 255), traco(0.15, (0.75, 0.72), (0.93, 0.92)))]
    return formas


def programa():
    """A sheet of a table with a check mark: a delivery that was checked."""
    folha = poligono((0.14, 0.04), (0.66, 0.04), (0.86, 0.24), (0.86, 0.96), (0.14, 0.96))
    formas = [(BRANCO, folha), ((90, 90, 90, 255), contorno(folha, 0.04)),
              ((190, 190, 190, 255), poligono((0.66, 0.04), (0.66, 0.24), (0.86, 0.24)))]
    for y in (0.36, 0.50, 0.64, 0.78):
        formas.append(((70, 120, 200, 255), retangulo(0.24, y, 0.76, y + 0.035)))
    formas.append(((70, 120, 200, 255), retangulo(0.44, 0.30, 0.475, 0.85)))
    formas.append((BRANCO, traco(0.26, (0.36, 0.70), (0.56, 0.90), (0.98, 0.42))))
    formas.append(((20, 140, 40, 255), traco(0.15, (0.36, 0.70), (0.56, 0.90), (0.98, 0.42))))
    return formas


# --- Rasterising and the .ico container.

def imagem(formas, lado):
    pixels = []
    for py in range(lado):
        for px in range(lado):
            soma = [0.0, 0.0, 0.0, 0.0]
            for sy in range(AMOSTRAS):
                for sx in range(AMOSTRAS):
                    x = (px + (sx + 0.5) / AMOSTRAS) / lado
                    y = (py + (sy + 0.5) / AMOSTRAS) / lado
                    cor = (0, 0, 0, 0)
                    for c, forma in formas:
                        if forma(x, y):
                            cor = c
                    a = cor[3] / 255.0
                    soma = [soma[0] + cor[0] * a, soma[1] + cor[1] * a, soma[2] + cor[2] * a,
                            soma[3] + a]
            n = AMOSTRAS * AMOSTRAS
            alfa = soma[3] / n
            if alfa == 0:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append(tuple(round(soma[i] / soma[3]) for i in range(3)) +
                              (round(alfa * 255),))
    return pixels


def dib(pixels, lado):
    cabecalho = struct.pack('<IiiHHIIiiII', 40, lado, lado * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    cores = bytearray()
    for linha in range(lado - 1, -1, -1):
        for r, g, b, a in pixels[linha * lado:(linha + 1) * lado]:
            cores += bytes((b, g, r, a))
    mascara = bytearray()
    largura_linha = ((lado + 31) // 32) * 4
    for linha in range(lado - 1, -1, -1):
        bits = bytearray(largura_linha)
        for x in range(lado):
            if pixels[linha * lado + x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mascara += bits
    return cabecalho + bytes(cores) + bytes(mascara)


def ico(nome, formas, lados):
    imagens = [dib(imagem(formas, lado), lado) for lado in lados]
    saida = bytearray(struct.pack('<HHH', 0, 1, len(lados)))
    deslocamento = 6 + 16 * len(lados)
    for lado, dados in zip(lados, imagens):
        saida += struct.pack('<BBBBHHII', lado % 256, lado % 256, 0, 0, 1, 32, len(dados),
                             deslocamento)
        deslocamento += len(dados)
    for dados in imagens:
        saida += dados
    with open(os.path.join(AQUI, nome), 'wb') as f:
        f.write(saida)


def png(caminho, formas, lado):
    """One RGBA image, 8 bits a channel, rows top-down, each after filter byte 0."""
    linhas = bytearray()
    pixels = imagem(formas, lado)
    for linha in range(lado):
        linhas.append(0)
        for pixel in pixels[linha * lado:(linha + 1) * lado]:
            linhas += bytes(pixel)

    def bloco(tipo, dados):
        return (struct.pack('>I', len(dados)) + tipo + dados +
                struct.pack('>I', zlib.crc32(tipo + dados)))

    with open(caminho, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' +
                bloco(b'IHDR', struct.pack('>IIBBBBB', lado, lado, 8, 6, 0, 0, 0)) +
                bloco(b'IDAT', zlib.compress(bytes(linhas), 9)) + bloco(b'IEND', b''))


if __name__ == '__main__':
    linux = os.path.join(AQUI, '..', '..', '..', 'pacote', 'linux', 'icones')
    os.makedirs(linux, exist_ok=True)
    for lado in (48, 256):
        png(os.path.join(linux, 'tolk-zav-%d.png' % lado), programa(), lado)
    ico('tolk_zav.ico', programa(), (16, 24, 32, 48))
    for nome, formas in (('pasta.ico', pasta()), ('criticar.ico', criticar()),
                         ('ajuda.ico', ajuda()), ('exporta.ico', exporta()),
                         ('fechar.ico', fechar()), ('ocorrencias.ico', ocorrencias())):
        ico(nome, formas, (16, 24))
