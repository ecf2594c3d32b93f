<?php

declare(strict_types=1);

namespace Vistrel;

/**
 * A transport failure that says whether a fresh connection may try again.
 * @internal
 */
final class RetryableTransport extends \RuntimeException
{
    public function __construct(string $message, int $errno, public readonly bool $timedOut, public readonly bool $retryable)
    {
        parent::__construct($message, $errno);
    }

    public function toPublic(): TransportException
    {
        return new TransportException($this->getMessage(), $this->getCode(), $this->timedOut);
    }
}
