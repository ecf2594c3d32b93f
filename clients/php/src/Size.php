<?php

declare(strict_types=1);

namespace Vistrel;

/** A size answer: the image's width and height in pixels. */
final class Size
{
    public function __construct(public readonly int $width, public readonly int $height)
    {
    }
}
