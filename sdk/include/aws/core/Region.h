#pragma once

namespace Aws {
namespace Region {
static const char AWS_GLOBAL[] = "aws-global";
static const char US_EAST_1[] = "us-east-1";
static const char US_EAST_2[] = "us-east-2";
static const char US_WEST_1[] = "us-west-1";
static const char US_WEST_2[] = "us-west-2";
static const char EU_WEST_1[] = "eu-west-1";
static const char EU_CENTRAL_1[] = "eu-central-1";
}  // namespace Region
}  // namespace Aws
