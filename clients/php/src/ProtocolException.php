<?php

declare(strict_types=1);

namespace Vistrel;

/** The answer was not a Vistrel answer, was broken, or was too large. */
final class ProtocolException extends VistrelException
{
}
