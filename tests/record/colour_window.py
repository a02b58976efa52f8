#!/usr/bin/env python3
"""A window to record: a still pattern of 1-pixel lines and cells on the left, and on the right a block
that takes the next colour of STEPS 30 times a second, by the clock (a late tick skips steps, never
repeats them out of order). Titled "colour window PID"; prints "ready" once shown."""
import os
import sys
import time
import tkinter

LEVELS = (0, 64, 128, 192, 255)
WIDTH, HEIGHT, BLOCK_X = 320, 240, 200


def step_colour(k):
    k %= 125
    return (LEVELS[k // 25], LEVELS[k // 5 % 5], LEVELS[k % 5])


def hex_colour(rgb):
    return "#%02x%02x%02x" % rgb


def main():
    rate = float(sys.argv[1]) if len(sys.argv) > 1 else 30.0
    root = tkinter.Tk()
    root.title("colour window %d" % os.getpid())
    root.geometry("%dx%d+%s+%s" % (WIDTH, HEIGHT, sys.argv[2] if len(sys.argv) > 2 else 100,
                                   sys.argv[3] if len(sys.argv) > 3 else 100))
    root.resizable(False, False)
    canvas = tkinter.Canvas(root, width=WIDTH, height=HEIGHT, highlightthickness=0, borderwidth=0,
                            background="#101010")
    canvas.place(x=0, y=0)
    # Still cells in 20 colours of their own (none of them a step colour), crossed by 1-pixel lines: with
    # the steps, fewer colours than a GIF's palette holds.
    for row in range(12):
        for col in range(10):
            colour = (30 + col % 5 * 37, 40 + row % 4 * 41, 200 - col % 5 * 23 - row % 4 * 11)
            canvas.create_rectangle(col * 20, row * 20, col * 20 + 19, row * 20 + 19, width=0,
                                    fill=hex_colour(colour))
    for i in range(0, BLOCK_X, 7):
        canvas.create_line(i, 0, BLOCK_X - 1 - i // 2, HEIGHT - 1, fill="#f0e0d0", width=1)
    block = canvas.create_rectangle(BLOCK_X, 0, WIDTH, HEIGHT, width=0, fill=hex_colour(step_colour(0)))
    start = time.monotonic()
    shown = [0]

    def tick():
        k = int((time.monotonic() - start) * rate)
        if k != shown[0]:
            shown[0] = k
            canvas.itemconfigure(block, fill=hex_colour(step_colour(k)))
        root.after(2, tick)

    root.wait_visibility()
    root.update()
    print("ready", flush=True)
    tick()
    root.mainloop()


if __name__ == "__main__":
    main()
