<?php

declare(strict_types=1);

namespace Vistrel;

/** Any failure of a request; catch this for all of them. */
class VistrelException extends \RuntimeException
{
}
