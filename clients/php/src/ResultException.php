<?php

declare(strict_types=1);

namespace Vistrel;

/** The server answered with a non-zero result code: `$e->code` (also getCode()) and `$e->meaning`. */
final class ResultException extends VistrelException
{
    /** The result code, public so that `$e->code` reads it as in the other clients. */
    public $code = 0;
    public readonly string $meaning;

    public function __construct(public readonly string $verb, int $code)
    {
        $this->meaning = Wire::meaning($code);
        parent::__construct(sprintf('%s failed: %d (%s)', $verb, $code, $this->meaning), $code);
    }
}
