<?php

declare(strict_types=1);

namespace Vistrel;

/**
 * The server could not be reached, the connection broke, or it timed out.
 * getCode() is the system's error number when there is one (111: refused).
 */
final class TransportException extends VistrelException
{
    public function __construct(string $message, int $errno = 0, public readonly bool $timedOut = false)
    {
        parent::__construct($message, $errno);
    }
}
